// The device tree model bound to in-memory tree views: update brackets and the timing of the
// synchronisation, the child list's misuse, the visibility rule, node building, path names,
// the selection across changes, editing and the freeing of released items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/entry_manager.h"
#include "devices/memory_tree_view.h"
#include "devices/model_manager.h"
#include "kernel/scheduler.h"
#include "platform/error.h"
#include "platform/user_interface.h"

namespace tolvek {
namespace {

template <typename F>
void ExpectError(F&& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const EError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

// A model on a main scheduler the test steps by hand, with one tree view bound to it.
class TreeModelTest : public ::testing::Test {
protected:
  TreeModelTest() {
    model.Root().SetCaption("Project");
    view.Select(view.Root());
    entries.OnSelectionChanged = [this](TEntryItem* entry) {
      ++selectionReports;
      lastReported = entry;
    };
    Settle();
  }

  // Runs slices until no task is ready.
  void Settle() {
    for (int i = 0; i < 100 && scheduler.ReadyCount() > 0; ++i) scheduler.Step();
  }

  TModelItem& Add(TModelItem& parent, const std::string& caption) {
    TModelItem& item = model.NewItem();
    item.SetCaption(caption);
    parent.AddChild(item);
    return item;
  }

  // BOX1 with Parameters (Motor, Limits) and Status; BOX2 empty.
  void BuildDevices() {
    TModelUpdate update(model);
    box1 = &Add(model.Root(), "BOX1");
    parameters = &Add(*box1, "Parameters");
    motor = &Add(*parameters, "Motor");
    Add(*parameters, "Limits");
    Add(*box1, "Status");
    box2 = &Add(model.Root(), "BOX2");
  }

  TMxScheduler scheduler;
  TModelManager model;
  TMemoryTreeView view;
  TEntryManager entries{model, view};
  int selectionReports = 0;
  TEntryItem* lastReported = nullptr;
  TModelItem* box1 = nullptr;
  TModelItem* parameters = nullptr;
  TModelItem* motor = nullptr;
  TModelItem* box2 = nullptr;
};

TEST_F(TreeModelTest, NestedBracketsSynchroniseOnceTwoSlicesAfterTheOuterEnd) {
  selectionReports = 0;
  model.BeginUpdate();
  TModelItem& item = model.NewItem();
  item.SetCaption("BOX1");        // a bracket of its own inside the outer one
  model.Root().AddChild(item);    // and another
  model.BeginUpdate();
  item.SetImageIndex(87);
  model.EndUpdate();
  EXPECT_EQ(scheduler.ReadyCount(), 0u) << "an inner bracket must not wake the model";
  model.EndUpdate();

  scheduler.Step();
  EXPECT_EQ(selectionReports, 0) << "the first slice only makes the synchronisation due";
  scheduler.Step();
  EXPECT_EQ(selectionReports, 1);
  Settle();
  EXPECT_EQ(selectionReports, 1);
  EXPECT_FALSE(model.UpdateInProgress());
  EXPECT_EQ(item.ChangeBits(), 0) << "change bits are cleared by the synchronisation";
}

TEST_F(TreeModelTest, ABracketOpenedBeforeTheSecondSlicePostponesTheSynchronisation) {
  selectionReports = 0;
  model.Root().SetCaption("Renamed");
  scheduler.Step();
  model.BeginUpdate();
  Settle();
  EXPECT_EQ(selectionReports, 0);
  EXPECT_EQ(view.Root()->Text(), "Project");
  model.EndUpdate();
  Settle();
  EXPECT_EQ(selectionReports, 1);
  EXPECT_EQ(view.Root()->Text(), "Renamed");

  model.EndUpdate();  // unmatched: ignored
  EXPECT_EQ(model.UpdateCount(), 0);
  Settle();
  EXPECT_EQ(selectionReports, 1);
}

TEST_F(TreeModelTest, BeginUpdateIsRefusedWhileSynchronising) {
  std::string seen;
  entries.OnSelectionChanged = [&](TEntryItem*) {
    try {
      model.BeginUpdate();
    } catch (const EError& e) {
      seen = e.Message();
    }
  };
  model.Root().SetCaption("x");
  Settle();
  EXPECT_EQ(seen, "TModelManager.BeginUpdate: internal error");
}

TEST_F(TreeModelTest, ChildListRefusesMisuseWithTheClassName) {
  TModelItem& parent = model.NewItem();
  TModelItem& child = model.NewItem();
  ExpectError([&] { parent.GetChild(0); }, "TModelItem.GetChild: node has no children");
  parent.AddChild(child);
  ExpectError([&] { model.Root().AddChild(child); }, "TModelItem.InsertChild: Child has a parent");
  ExpectError([&] { child.AddChild(parent); }, "TModelItem.InsertChild: Child is an ancestor");
  TModelItem& lone = model.NewItem();
  ExpectError([&] { lone.AddChild(lone); }, "TModelItem.InsertChild: Child is an ancestor");
  ExpectError([&] { parent.InsertChild(5, model.NewItem()); },
              "TModelItem.InsertChild: index (5) out of bounds");
  TModelItem& released = model.NewItem();
  released.ReleaseItem();
  ExpectError([&] { parent.AddChild(released); }, "TModelItem.InsertChild: Child is released");

  EXPECT_EQ(child.ChangeBits() & mcInserted, mcInserted);
  parent.RemoveChild(child);
  EXPECT_EQ(child.Parent(), nullptr);
  EXPECT_EQ(child.ChangeBits() & mcRemoved, mcRemoved);
  EXPECT_EQ(parent.ChangeBits() & mcChildren, mcChildren);
  ExpectError([&] { parent.GetChild(0); }, "TModelItem.GetChild: index (0) out of bounds");
  ExpectError([&] { model.Root().ReleaseItem(); }, "TModelItem.ReleaseItem: the root stays");
}

TEST_F(TreeModelTest, VisibilityMaskCountsBitSixOnlyForClassBitSix) {
  struct TCase {
    uint8_t attribute;
    uint8_t itemClass;
    bool shown;
    bool listed;
  } cases[] = {
      {0x40, 0x04, true, false}, {0x40, 0x44, true, true}, {0x01, 0x04, true, true},
      {0x01, 0x44, true, true},  {0x84, 0x04, true, false}, {0x01, 0x04, false, false},
      {0x02, 0x00, true, true},
  };
  std::vector<std::string> expected;
  {
    TModelUpdate update(model);
    for (size_t i = 0; i < std::size(cases); ++i) {
      TModelItem& item = Add(model.Root(), "item" + std::to_string(i));
      item.SetAttribute(0, cases[i].attribute);
      item.SetClass(cases[i].itemClass);
      item.SetShown(cases[i].shown);
      EXPECT_EQ(item.Listed(), cases[i].listed) << "case " << i;
      if (cases[i].listed) expected.push_back(item.Caption());
    }
  }
  view.Root()->Expand();
  Settle();
  std::vector<std::string> listed;
  for (int i = 0; i < view.Root()->Count(); ++i) listed.push_back(view.Root()->Item(i)->Text());
  EXPECT_EQ(listed, expected);
}

TEST_F(TreeModelTest, NodesAreBuiltOnExpansionAndFollowCaptionsAndChildren) {
  BuildDevices();
  box1->SetImageIndex(87);
  Settle();
  EXPECT_EQ(view.Dump(), "+Project *\n  -BOX1\n   BOX2\n")
      << "the synchronisation marks the root expanded and builds its children";
  auto* box1Node = static_cast<TMemoryTreeNode*>(view.Root()->Item(0));
  EXPECT_EQ(box1Node->ImageIndex(), 87);
  EXPECT_EQ(box1Node->Data()->Item().Caption(), "BOX1");

  box1Node->Expand();
  EXPECT_EQ(view.Dump(), "+Project *\n  +BOX1\n    -Parameters\n     Status\n   BOX2\n");

  {
    TModelUpdate update(model);
    box2->SetCaption("BOX2 (offline)");
    Add(*box2, "Units");
    motor->SetCaption("Motor 1");  // below a node never built: nothing to show
    box1->RemoveChild(*parameters);
  }
  EXPECT_EQ(view.Dump(), "+Project *\n  +BOX1\n    -Parameters\n     Status\n   BOX2\n")
      << "nothing changes in the tree before the synchronisation";
  Settle();
  EXPECT_EQ(view.Dump(), "+Project *\n  +BOX1\n     Status\n  -BOX2 (offline)\n");
}

TEST_F(TreeModelTest, ExpandedNodesAreRebuiltWhenTheirChildrenChange) {
  BuildDevices();
  Settle();
  entries.SelectPath("Project://BOX1/Parameters");
  static_cast<TMemoryTreeNode*>(view.Selected())->Expand();
  view.Select(view.Root());
  {
    TModelUpdate update(model);
    parameters->InsertChild(0, model.NewItem());
    parameters->GetChild(0).SetCaption("General");
  }
  Settle();
  EXPECT_EQ(view.Dump(),
            "+Project *\n  -BOX1\n    +Parameters\n       General\n       Motor\n       Limits\n     Status\n"
            "   BOX2\n");
}

TEST_F(TreeModelTest, ExpansionIsRefusedForUnbuiltNodesWhileTheModelChanges) {
  BuildDevices();
  Settle();
  model.BeginUpdate();
  view.Root()->Item(0)->Expand();
  EXPECT_FALSE(view.Root()->Item(0)->Expanded());
  model.EndUpdate();
  view.Root()->Item(0)->Expand();
  EXPECT_FALSE(view.Root()->Item(0)->Expanded()) << "the update lasts until the synchronisation";
  Settle();
  view.Root()->Item(0)->Expand();
  EXPECT_TRUE(view.Root()->Item(0)->Expanded());
  EXPECT_EQ(view.Root()->Item(0)->Count(), 2);
}

TEST_F(TreeModelTest, PathsSelectAndNameNodes) {
  BuildDevices();
  Settle();
  EXPECT_EQ(entries.PathOfSelection(), "Project://");

  selectionReports = 0;
  entries.SelectPath("Project://BOX1/Parameters/Motor");
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX1/Parameters/Motor");
  EXPECT_EQ(selectionReports, 3) << "each matched node is selected on the way";
  EXPECT_EQ(&lastReported->Item(), motor);

  entries.SelectPath("../Limits");
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX1/Parameters/Limits");
  entries.SelectPath("../../Nothing/Status");
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX1")
      << "the walk stops at the first component that matches nothing";
  entries.SelectPath("Project://BOX2/Units");
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX2");
  entries.SelectPath("Project://box1");
  EXPECT_EQ(entries.PathOfSelection(), "Project://") << "captions match exactly";

  ExpectError([&] { entries.SelectPath("Tree://BOX1"); }, "internal error: tree name error");
}

TEST_F(TreeModelTest, SelectionChangesAreNotReportedWhileTheModelIsUpdated) {
  BuildDevices();
  Settle();
  selectionReports = 0;
  model.BeginUpdate();
  entries.SelectPath("Project://BOX1");
  EXPECT_EQ(selectionReports, 0);
  model.EndUpdate();
  Settle();
  EXPECT_EQ(selectionReports, 1) << "only the synchronisation's own report";
  EXPECT_EQ(&lastReported->Item(), box1);
}

TEST_F(TreeModelTest, HidingTheSelectedNodeLeavesTheSelectionOnItsDeepestRemainingAncestor) {
  BuildDevices();
  Settle();
  entries.SelectPath("Project://BOX1/Parameters/Motor");
  {
    TModelUpdate update(model);
    parameters->Hide();
  }
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX1/Parameters/Motor");
  Settle();
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX1");
  EXPECT_EQ(&lastReported->Item(), box1);

  {
    TModelUpdate update(model);
    parameters->SetShown(true);
  }
  Settle();
  entries.SelectPath("Parameters/Motor");
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX1/Parameters/Motor")
      << "a shown item comes back with its children";
}

TEST_F(TreeModelTest, ReleasedItemsAreFreedWithTheirEntriesAtTheNextSynchronisation) {
  BuildDevices();
  Settle();
  entries.SelectPath("Project://BOX1/Parameters/Motor");
  const int items = model.ItemCount();
  const int entryCount = entries.EntryCount();
  parameters->ReleaseItem();  // with its own bracket; takes it out of BOX1
  EXPECT_EQ(box1->ChildCount(), 1);
  motor->ReleaseItem();
  Settle();
  EXPECT_EQ(model.ItemCount(), items - 2);
  EXPECT_EQ(entries.EntryCount(), entryCount - 2);
  EXPECT_EQ(entries.PathOfSelection(), "Project://BOX1");
  EXPECT_EQ(view.Dump(), "+Project\n  -BOX1 *\n   BOX2\n");
}

TEST_F(TreeModelTest, AReleaseDuringTheSynchronisationWaitsForItsEnd) {
  BuildDevices();
  Settle();
  bool released = false;
  entries.OnSelectionChanged = [&](TEntryItem*) {
    if (released) return;
    released = true;
    box2->ReleaseItem();
  };
  const int items = model.ItemCount();
  model.Root().SetCaption("Project");
  Settle();
  EXPECT_TRUE(released);
  EXPECT_EQ(model.ItemCount(), items - 1);
  EXPECT_EQ(view.Dump(), "+Project *\n  -BOX1\n");
}

TEST_F(TreeModelTest, TwoTreeViewsKeepTheirOwnEntriesAndSelections) {
  TMemoryTreeView other;
  TEntryManager otherEntries(model, other);
  BuildDevices();
  Settle();
  entries.SelectPath("Project://BOX1/Status");
  otherEntries.SelectPath("Project://BOX2");
  box1->SetCaption("Drive A");
  Settle();
  EXPECT_EQ(entries.PathOfSelection(), "Project://Drive A/Status");
  EXPECT_EQ(otherEntries.PathOfSelection(), "Project://BOX2");
  EXPECT_EQ(other.Dump(), "+Project\n  -Drive A\n   BOX2 *\n");
}

TEST_F(TreeModelTest, RootCannotCollapseAndOnlyEditableItemsAreEdited) {
  BuildDevices();
  Settle();
  view.Root()->Collapse();
  EXPECT_TRUE(view.Root()->Expanded());
  view.Root()->Item(0)->Expand();
  view.Root()->Item(0)->Collapse();
  EXPECT_FALSE(view.Root()->Item(0)->Expanded());
  EXPECT_FALSE(view.Root()->Item(0)->Data()->Expanded());

  THeadlessUserInterface ui;
  ui.SetQuiet(true);
  std::vector<std::string> boxes;
  ui.SetLogSink([&](const std::string& text) { boxes.push_back(text); });
  SetUserInterface(&ui);
  EXPECT_FALSE(view.EditCaption(*view.Root()->Item(1), "New"));
  box2->SetState(msEditable, true);
  EXPECT_TRUE(view.EditCaption(*view.Root()->Item(1), "New"));
  SetUserInterface(nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("end of editing"), std::string::npos);
  EXPECT_EQ(view.Root()->Item(1)->Text(), "BOX2");
  EXPECT_EQ(box2->Caption(), "BOX2");
}

TEST_F(TreeModelTest, TextsAreAskedUpTheParentsUntilOneAnswers) {
  BuildDevices();
  box1->SetTextCallback([](const std::string& name) { return name == "DeviceName" ? "BOX1" : ""; });
  parameters->SetTextCallback([](const std::string& name) { return name == "Kind" ? "parameters" : ""; });
  EXPECT_EQ(motor->GetText("DeviceName"), "BOX1");
  EXPECT_EQ(motor->GetText("Kind"), "parameters");
  EXPECT_EQ(motor->GetText("Other"), "");
  Settle();
  entries.SelectPath("Project://BOX1/Parameters/Motor");
  EXPECT_EQ(entries.SelectedEntry()->GetText("DeviceName"), "BOX1");
}

TEST_F(TreeModelTest, DestroyingTheModelFirstLeavesTheBoundViewEmpty) {
  TMemoryTreeView lateView;
  auto lateModel = std::make_unique<TModelManager>();
  TEntryManager late(*lateModel, lateView);
  EXPECT_NE(lateView.Root(), nullptr);
  lateModel.reset();
  EXPECT_EQ(lateView.Root(), nullptr);
  EXPECT_EQ(late.Model(), nullptr);
  EXPECT_EQ(late.PathOfSelection(), "");
}

}  // namespace
}  // namespace tolvek
