// Views, their factories and the showing of an entry's view.
#include "devices/application_view.h"

#include <algorithm>

#include "devices/entry_manager.h"
#include "devices/model_item.h"
#include "platform/error.h"

namespace tolvek {

void TApplicationView::Notify(int code) {
  if (OnNotification) OnNotification(code);
}

void TApplicationView::ActionExecute(TViewAction& action, bool& handled) {
  if (OnActionExecute) OnActionExecute(action, handled);
}

void TApplicationView::ActionUpdate(TViewAction& action, bool& handled) {
  if (OnActionUpdate) OnActionUpdate(action, handled);
}

void TApplicationView::SetPanel(TViewControl& control) {
  if (panel_) throw EError("panel redefinition not allowed");
  panel_ = &control;
  control.SetVisible(false);
  panelPreviousParent_ = control.Parent();
  if (active_) {
    control.SetParent(hostPanel_);
    control.SetVisible(true);
  }
}

void TApplicationView::SetStatusBar(TViewControl& control) {
  if (statusBar_) throw EError("Status bar redefinition not allowed");
  statusBar_ = &control;
  control.SetVisible(false);
  statusPreviousParent_ = control.Parent();
  if (active_) {
    control.SetParent(statusHost_);
    control.SetVisible(true);
  }
}

void TApplicationView::SetData(TViewData* data) {
  data_ = data;
  Notify(vnDataSet);
}

void TApplicationView::Activate(TEntryItem* entry, TViewControl* hostPanel, TViewTextSource* textSource,
                                TViewControl* statusHost) {
  if (active_) return;
  entry_ = entry;
  item_ = entry ? &entry->Item() : nullptr;
  hostPanel_ = hostPanel;
  textSource_ = textSource;
  statusHost_ = statusHost;
  if (panel_) {
    panelPreviousParent_ = panel_->Parent();
    panel_->SetParent(hostPanel_);
    panel_->SetVisible(true);
  }
  if (statusBar_) {
    statusPreviousParent_ = statusBar_->Parent();
    statusBar_->SetParent(statusHost_);
    statusBar_->SetVisible(true);
  }
  active_ = true;
  Notify(vnActivated);
}

void TApplicationView::Deactivate() {
  if (!active_) return;
  Notify(vnDeactivated);
  if (panel_) {
    panel_->SetVisible(false);
    panel_->SetParent(panelPreviousParent_);
  }
  if (statusBar_) {
    statusBar_->SetVisible(false);
    statusBar_->SetParent(statusPreviousParent_);
  }
  entry_ = nullptr;
  item_ = nullptr;
  textSource_ = nullptr;
  hostPanel_ = nullptr;
  statusHost_ = nullptr;
  active_ = false;
}

TViewData* TApplicationView::TakeData() {
  // A pooled view must not stay in a window it no longer belongs to.
  Deactivate();
  Notify(vnReleased);
  TViewData* data = data_;
  data_ = nullptr;
  if (factory_) factory_->ReturnView(*this);
  return data;
}

std::string TApplicationView::ViewText(const std::string& name) const {
  return textSource_ ? textSource_->ViewText(name) : std::string();
}

TApplicationViewFactory::~TApplicationViewFactory() { DestroyViews(); }

void TApplicationViewFactory::DestroyViews() {
  pool_.clear();
  std::vector<std::unique_ptr<TApplicationView>> views;
  views.swap(views_);
  for (auto& view : views) view->Notify(vnDestroyed);
}

TApplicationView& TApplicationViewFactory::GetView() {
  if (!pool_.empty()) {
    TApplicationView* view = pool_.back();
    pool_.pop_back();
    return *view;
  }
  views_.push_back(CreateView());
  TApplicationView& view = *views_.back();
  view.factory_ = this;
  view.Notify(vnCreated);
  return view;
}

void TApplicationViewFactory::ReturnView(TApplicationView& view) {
  if (view.factory_ != this) return;
  if (std::find(pool_.begin(), pool_.end(), &view) != pool_.end()) return;
  pool_.push_back(&view);
}

TApplicationView* ShowEntryView(TEntryItem& entry, TViewControl* hostPanel, TViewTextSource* textSource,
                                TViewControl* statusHost) {
  TApplicationViewFactory* factory = entry.Item().ViewFactory();
  if (!factory || entry.ViewIndex() < 0 || entry.ViewIndex() >= entry.ViewCount()) return nullptr;
  TApplicationView& view = factory->GetView();
  view.SetData(entry.ViewData());
  view.Activate(&entry, hostPanel, textSource, statusHost);
  return &view;
}

void HideEntryView(TApplicationView& view, TEntryItem& entry) {
  view.Deactivate();
  entry.StoreViewData(view.TakeData());
}

}  // namespace tolvek
