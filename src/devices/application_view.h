// The contract between a tree item's view and the window that shows it: the factory that
// pools views, the view with its panel and status bar, its notifications and its actions.
// A view is shared: between showings it waits in its factory's pool, and the data it shows
// belongs to the tree entry it was shown for.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/view_control.h"

namespace tolvek {

class TApplicationViewFactory;
class TEntryItem;
class TModelItem;

// What one view slot of a tree entry keeps for its view between showings.
class TViewData {
public:
  virtual ~TViewData() = default;
};

// An action of a window as a view sees it: the view may carry it out or set its state.
struct TViewAction {
  std::string Name;
  bool Enabled = true;
  bool Checked = false;
  bool Visible = true;
};

// The window a view is shown in, answering the view's named texts.
class TViewTextSource {
public:
  virtual ~TViewTextSource() = default;
  virtual std::string ViewText(const std::string& name) = 0;
};

// Notification codes of a view.
enum TViewNotification : int {
  vnDataSet = 0,
  vnActivated = 1,
  vnDeactivated = 2,
  vnReleased = 3,  // returned to the pool
  vnCreated = 4,
  vnDestroyed = 5,
};

class TApplicationView {
public:
  using TActionEvent = std::function<void(TViewAction& action, bool& handled)>;
  using TNotifyEvent = std::function<void(int code)>;

  TApplicationView() = default;
  virtual ~TApplicationView() = default;
  TApplicationView(const TApplicationView&) = delete;
  TApplicationView& operator=(const TApplicationView&) = delete;

  // Calls OnNotification.
  virtual void Notify(int code);
  // Offered every action of the window first; calls OnActionExecute.
  virtual void ActionExecute(TViewAction& action, bool& handled);
  // Offered every enabling update first; calls OnActionUpdate.
  virtual void ActionUpdate(TViewAction& action, bool& handled);

  // Hands the view its panel, once ("panel redefinition not allowed"): hidden, and shown in the
  // host panel while the view is active.
  void SetPanel(TViewControl& control);
  // Likewise the status bar ("Status bar redefinition not allowed").
  void SetStatusBar(TViewControl& control);
  // The data to show (not owned); notification data set.
  void SetData(TViewData* data);
  // Shows the view for `entry`: panel into `hostPanel`, status bar into `statusHost`, both
  // shown; notification activated. Nothing when active already.
  void Activate(TEntryItem* entry, TViewControl* hostPanel, TViewTextSource* textSource,
                TViewControl* statusHost);
  // Notification deactivated; both controls hidden and back where they came from; entry and
  // window forgotten. Nothing when inactive.
  void Deactivate();
  // Notification released; hands the data back (the caller keeps it) and returns the view to
  // its factory's pool. An active view is deactivated first.
  TViewData* TakeData();

  bool Active() const { return active_; }
  TViewData* Data() const { return data_; }
  TEntryItem* Entry() const { return entry_; }
  TModelItem* Item() const { return item_; }
  TApplicationViewFactory* Factory() const { return factory_; }
  TViewControl* Panel() const { return panel_; }
  TViewControl* StatusBar() const { return statusBar_; }
  TViewControl* HostPanel() const { return hostPanel_; }
  TViewControl* StatusHost() const { return statusHost_; }
  TViewTextSource* TextSource() const { return textSource_; }
  // The window's text of `name`, or "" when not shown.
  std::string ViewText(const std::string& name) const;

  TActionEvent OnActionExecute;
  TActionEvent OnActionUpdate;
  TNotifyEvent OnNotification;

private:
  friend class TApplicationViewFactory;

  TEntryItem* entry_ = nullptr;
  TModelItem* item_ = nullptr;
  TViewControl* panelPreviousParent_ = nullptr;
  TViewControl* statusPreviousParent_ = nullptr;
  TViewTextSource* textSource_ = nullptr;
  TApplicationViewFactory* factory_ = nullptr;
  TViewControl* panel_ = nullptr;
  TViewControl* statusBar_ = nullptr;
  TViewControl* hostPanel_ = nullptr;
  TViewControl* statusHost_ = nullptr;
  bool active_ = false;
  TViewData* data_ = nullptr;
};

// Makes the views of one kind and pools the idle ones. It owns every view it made.
class TApplicationViewFactory {
public:
  TApplicationViewFactory() = default;
  // Notifies every view it made destroyed and frees it.
  virtual ~TApplicationViewFactory();
  TApplicationViewFactory(const TApplicationViewFactory&) = delete;
  TApplicationViewFactory& operator=(const TApplicationViewFactory&) = delete;

  // The most recently pooled view, or a new one (notified created).
  TApplicationView& GetView();
  // Pools a view of this factory; others, and views pooled already, are ignored.
  void ReturnView(TApplicationView& view);
  int PooledCount() const { return static_cast<int>(pool_.size()); }
  int ViewCount() const { return static_cast<int>(views_.size()); }

protected:
  virtual std::unique_ptr<TApplicationView> CreateView() = 0;
  // Notifies every view it made destroyed and frees it. A factory whose views reach its own
  // members when notified calls this from its destructor, while those members still exist.
  void DestroyViews();

private:
  std::vector<std::unique_ptr<TApplicationView>> views_;
  std::vector<TApplicationView*> pool_;
};

// Shows the view of `entry`'s current view slot the way tree windows do: a view from the
// item's factory, given the slot's data and activated in the hosts. nullptr when the entry
// has no view at its current index.
TApplicationView* ShowEntryView(TEntryItem& entry, TViewControl* hostPanel, TViewTextSource* textSource,
                                TViewControl* statusHost);
// Hides a view ShowEntryView showed: deactivated, its data handed back to the entry, the
// view back in its pool.
void HideEntryView(TApplicationView& view, TEntryItem& entry);

}  // namespace tolvek
