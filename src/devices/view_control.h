// The controls a view hands to the window that shows it: its panel and its status bar, which
// the window moves into its own host panels while the view is shown. The desktop build wraps
// widgets; TMemoryViewControl stands in for them without a display.
#pragma once

namespace tolvek {

class TViewControl {
public:
  virtual ~TViewControl() = default;

  // The control it is placed in, or nullptr.
  virtual TViewControl* Parent() const = 0;
  // Places the control into `parent` (nullptr: into none), filling it.
  virtual void SetParent(TViewControl* parent) = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
};

// A control that only remembers where it is and whether it is shown.
class TMemoryViewControl : public TViewControl {
public:
  TMemoryViewControl() = default;
  explicit TMemoryViewControl(TViewControl* parent) : parent_(parent) {}

  TViewControl* Parent() const override { return parent_; }
  void SetParent(TViewControl* parent) override { parent_ = parent; }
  bool Visible() const override { return visible_; }
  void SetVisible(bool visible) override { visible_ = visible; }

private:
  TViewControl* parent_ = nullptr;
  bool visible_ = true;
};

}  // namespace tolvek
