// Views and their factories: the pool, the notifications in order, the hand-over of panel and
// status bar between the view and the window, and an entry's view data across showings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/application_view.h"
#include "devices/entry_manager.h"
#include "devices/memory_tree_view.h"
#include "devices/model_manager.h"
#include "kernel/scheduler.h"
#include "platform/error.h"

namespace tolvek {
namespace {

// A view that keeps its own panel and status bar on its form, as window views do.
class TRecordingView : public TApplicationView {
public:
  explicit TRecordingView(std::vector<std::string>& log) : log_(log) {
    OnNotification = [this](int code) { log_.push_back(std::to_string(code)); };
    OnActionUpdate = [](TViewAction& action, bool& handled) {
      if (action.Name == "&Copy") {
        action.Enabled = false;
        handled = true;
      }
    };
  }
  TMemoryViewControl form;
  TMemoryViewControl panel{&form};
  TMemoryViewControl statusBar{&form};

private:
  std::vector<std::string>& log_;
};

class TRecordingFactory : public TApplicationViewFactory {
public:
  ~TRecordingFactory() override { DestroyViews(); }
  std::vector<std::string> log;

protected:
  std::unique_ptr<TApplicationView> CreateView() override {
    auto view = std::make_unique<TRecordingView>(log);
    view->SetPanel(view->panel);
    view->SetStatusBar(view->statusBar);
    return view;
  }
};

class TNamedData : public TViewData {
public:
  explicit TNamedData(std::string name, int* freed = nullptr) : name(std::move(name)), freed_(freed) {}
  ~TNamedData() override {
    if (freed_) ++*freed_;
  }
  std::string name;

private:
  int* freed_;
};

class TWindowTexts : public TViewTextSource {
public:
  std::string ViewText(const std::string& name) override { return name == "Caption" ? "Tree 1" : ""; }
};

TEST(ApplicationViewTest, ViewsArePooledAndNotifiedThroughTheirLife) {
  TMemoryViewControl host, statusHost;
  TWindowTexts window;
  auto factory = std::make_unique<TRecordingFactory>();
  TApplicationView& first = factory->GetView();
  EXPECT_EQ(factory->log, (std::vector<std::string>{"4"}));
  auto& view = static_cast<TRecordingView&>(first);
  EXPECT_FALSE(view.panel.Visible());
  EXPECT_EQ(view.panel.Parent(), &view.form) << "an inactive view keeps its panel where it is";

  TNamedData data("motor");
  view.SetData(&data);
  view.Activate(nullptr, &host, &window, &statusHost);
  view.Activate(nullptr, &host, &window, &statusHost);  // active already: nothing
  EXPECT_EQ(view.panel.Parent(), &host);
  EXPECT_EQ(view.statusBar.Parent(), &statusHost);
  EXPECT_TRUE(view.panel.Visible());
  EXPECT_EQ(view.ViewText("Caption"), "Tree 1");

  TViewAction copy{"&Copy"};
  bool handled = false;
  view.ActionUpdate(copy, handled);
  EXPECT_TRUE(handled);
  EXPECT_FALSE(copy.Enabled);

  view.Deactivate();
  EXPECT_EQ(view.panel.Parent(), &view.form);
  EXPECT_EQ(view.statusBar.Parent(), &view.form);
  EXPECT_FALSE(view.panel.Visible());
  EXPECT_EQ(view.ViewText("Caption"), "");
  EXPECT_EQ(view.TakeData(), &data);
  EXPECT_EQ(view.Data(), nullptr);
  EXPECT_EQ(factory->PooledCount(), 1);
  EXPECT_EQ(&factory->GetView(), &first) << "the pooled view is used again";
  TApplicationView& second = factory->GetView();
  second.TakeData();
  first.TakeData();
  EXPECT_EQ(&factory->GetView(), &first) << "most recently pooled first";
  first.TakeData();
  first.TakeData();  // pooled already: stays in the pool once
  EXPECT_EQ(factory->PooledCount(), 2);

  // Every view the factory made, pooled or not, is notified destroyed and freed with it.
  std::vector<std::string> seen;
  first.OnNotification = [&](int code) { seen.push_back("first " + std::to_string(code)); };
  second.OnNotification = [&](int code) { seen.push_back("second " + std::to_string(code)); };
  factory->GetView();
  factory->log.clear();
  factory.reset();
  EXPECT_EQ(seen, (std::vector<std::string>{"first 5", "second 5"}));
}

TEST(ApplicationViewTest, NotificationsComeInTheOrderOfAShowing) {
  TRecordingFactory factory;
  TMemoryViewControl host, statusHost;
  TApplicationView& view = factory.GetView();
  view.SetData(nullptr);
  view.Activate(nullptr, &host, nullptr, &statusHost);
  view.Deactivate();
  view.Deactivate();  // inactive: nothing
  view.TakeData();
  EXPECT_EQ(factory.log, (std::vector<std::string>{"4", "0", "1", "2", "3"}));
}

TEST(ApplicationViewTest, PanelAndStatusBarAreHandedOverOnce) {
  TRecordingFactory factory;
  TMemoryViewControl host, statusHost, other;
  auto& view = static_cast<TRecordingView&>(factory.GetView());
  try {
    view.SetPanel(other);
    ADD_FAILURE();
  } catch (const EError& e) {
    EXPECT_EQ(e.Message(), "panel redefinition not allowed");
  }
  try {
    view.SetStatusBar(other);
    ADD_FAILURE();
  } catch (const EError& e) {
    EXPECT_EQ(e.Message(), "Status bar redefinition not allowed");
  }

  // A view that gets its panel while shown puts it into the host at once.
  class TLateView : public TApplicationView {};
  TLateView late;
  TMemoryViewControl form, panel(&form);
  late.Activate(nullptr, &host, nullptr, &statusHost);
  late.SetPanel(panel);
  EXPECT_EQ(panel.Parent(), &host);
  EXPECT_TRUE(panel.Visible());
  late.Deactivate();
  EXPECT_EQ(panel.Parent(), &form);
  EXPECT_FALSE(panel.Visible());
}

TEST(ApplicationViewTest, AnEntryKeepsItsViewDataBetweenShowings) {
  TMxScheduler scheduler;
  TModelManager model;
  TRecordingFactory factory;
  TModelItem& withView = model.NewItem();
  withView.SetViewFactory(&factory);
  model.Root().AddChild(withView);
  TModelItem& plain = model.NewItem();
  model.Root().AddChild(plain);
  TMemoryTreeView tree;
  TEntryManager entries(model, tree);
  for (int i = 0; i < 10 && scheduler.ReadyCount() > 0; ++i) scheduler.Step();
  tree.Root()->Expand();
  ASSERT_EQ(tree.Root()->Count(), 2);
  TEntryItem& entry = *tree.Root()->Item(0)->Data();
  TEntryItem& plainEntry = *tree.Root()->Item(1)->Data();
  EXPECT_EQ(entry.ViewCount(), 1);
  EXPECT_EQ(plainEntry.ViewCount(), 0);
  EXPECT_EQ(ShowEntryView(plainEntry, nullptr, nullptr, nullptr), nullptr);

  int freed = 0;
  entry.StoreViewData(new TNamedData("first", &freed));
  TMemoryViewControl host, statusHost;
  TApplicationView* view = ShowEntryView(entry, &host, nullptr, &statusHost);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->Active());
  EXPECT_EQ(view->Entry(), &entry);
  EXPECT_EQ(view->Item(), &withView);
  EXPECT_EQ(static_cast<TNamedData*>(view->Data())->name, "first");
  HideEntryView(*view, entry);
  EXPECT_EQ(freed, 0) << "the same data object goes back into its slot";
  EXPECT_EQ(static_cast<TNamedData*>(entry.ViewData())->name, "first");
  EXPECT_EQ(factory.PooledCount(), 1);

  entry.StoreViewData(new TNamedData("second", &freed));
  EXPECT_EQ(freed, 1) << "a different object replaces and frees the old one";
  entry.SetViewIndex(1);
  EXPECT_EQ(entry.ViewData(), nullptr);
  EXPECT_EQ(ShowEntryView(entry, &host, nullptr, &statusHost), nullptr);
}

}  // namespace
}  // namespace tolvek
