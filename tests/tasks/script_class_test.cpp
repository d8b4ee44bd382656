// Script classes through the storage manager: announcing, creating shared objects, calling
// methods, the stage convention, imports, and the two storage classes.
#include <gtest/gtest.h>

#include <array>

#include "script/classes/archive_manager_script_class.h"
#include "script/classes/storage_object_manager_script_class.h"
#include "script/interp/context_interface.h"
#include "script/script_class_factory.h"
#include "task_fixture.h"

namespace tolvek {
namespace {

// A counter object: "Add" (int -> --), "Get" (-> int), "Twice" (int -> int), which doubles
// through the script operation "add" in a second stage.
class TCounterClass : public TScriptClass {
public:
  struct TCounter {
    int64_t value = 0;
  };
  void* CreateScriptObject(TContextInterface& context) override {
    ++live;
    auto* counter = new TCounter();
    // A constructor argument, when one is given.
    if (context.IsInt64()) counter->value = context.PopInt64();
    return counter;
  }
  void DestroyScriptObject(void* handle) override {
    --live;
    delete static_cast<TCounter*>(handle);
  }
  void CallMethod(void* handle, int32_t index, TContextInterface& context) override {
    auto* counter = static_cast<TCounter*>(handle);
    switch (index) {
      case 0: counter->value += context.PopInt64(); break;
      case 1: context.PushInt64(counter->value); break;
      case 2:
        if (context.GetReexec() == 1) {
          context.SetReexec(0);
          counter->value = context.PopInt64();
          return;
        }
        {
          const int64_t n = context.PopInt64();
          context.PushInt64(n);
          context.PushInt64(n);
          context.SetReexec(1);
          context.CallName("add");
        }
        break;
    }
  }
  std::string GetMethodName(int32_t index) override {
    static const std::array<const char*, 3> names = {"Add", "Get", "Twice"};
    return index >= 0 && index < 3 ? names[static_cast<size_t>(index)] : "";
  }
  int live = 0;
};

class ScriptClassTest : public TaskFixture {
protected:
  void SetUp() override {
    TaskFixture::SetUp();
    counter_ = std::make_shared<TCounterClass>();
    storage_->AnnounceScriptClass("Counter", counter_);
  }
  std::shared_ptr<TCounterClass> counter_;
};

TEST_F(ScriptClassTest, ObjectsAreSharedAndCallTheirMethodsOnTheStack) {
  TRef<TSLContextImplementation> context = storage_->CreateContext();
  context->PushBlock(Block("5 Create:Counter dup /c exch def 2 c.Add c.Get 10 c.Twice c.Get").Get());
  while (!storage_->GetInterpreter().Run(*context)) {
  }
  // "dup" pushed the very object, not a copy; "Twice" ran "add" between its two stages.
  ASSERT_EQ(context->Operands().Count(), 3);
  EXPECT_EQ(TSLScriptRunner::ValueText(context->Operands().Top(1)), "7");
  EXPECT_EQ(TSLScriptRunner::ValueText(context->Operands().Top(0)), "20");
  EXPECT_NE(ScriptObjectHandle(context->Operands().Top(2)), nullptr);
  EXPECT_EQ(counter_->live, 1);
  // The object lives as long as the script values that hold it.
  context.Reset();
  TRefObjManager::Instance().ReleasePool();
  EXPECT_EQ(counter_->live, 0);
}

TEST_F(ScriptClassTest, AMethodKeptAfterItsObjectIsGoneFails) {
  EXPECT_EQ(RunContext("Create:Counter /GetMethod exch /Get get def GetMethod"),
            "error: TSLScrObjMethod.Execute: script object was destroyed");
  EXPECT_EQ(counter_->live, 0);
}

TEST_F(ScriptClassTest, AnnouncingAndTaskFactoryFailures) {
  EXPECT_TRUE(storage_->IsScriptClassAnnounced("counter"));
  EXPECT_FALSE(storage_->IsScriptClassAnnounced("Timer"));
  EXPECT_EQ(FailureOf([&] { storage_->AnnounceScriptClass("Counter", counter_); }),
            "TStorageManager.AnnounceScriptClass: class with name 'Counter' already announced");
  EXPECT_NE(storage_->CreateScriptTask(), nullptr);
  storage_->SetScriptTaskFactory(nullptr);
  EXPECT_EQ(FailureOf([&] { storage_->CreateScriptTask(); }),
            "TStorageManager.CreateScriptTask: no ScriptClassFactory announced");
}

TEST_F(ScriptClassTest, SystemProceduresAreSharedByEveryContext) {
  class TFortyTwo final : public TSLInternalProcedure {
  public:
    void Execute(TSLContext& context) override { PushInt(context, 42); }
  };
  storage_->AddSystemProcedure("fortytwo", NewObj<TFortyTwo>());
  EXPECT_EQ(RunContext("fortytwo System:fortytwo"), "42 42");
  EXPECT_EQ(RunContext("Global:fortytwo"), "error: object with name 'Global:fortytwo' not found");
}

TEST_F(ScriptClassTest, ImportBindsModulesAsNameSpaces) {
  WriteFile("Lib.stx", "[D /double [P [A /x ] x 2 mul /r exch def [A /r ] ] ]");
  WriteFile("Archives/Mods/Tools.stx", "[D /three 3 ]");
  TRef<TSLDictionary> registered = MakeRef<TSLDictionary>();
  registered->SetInt64WithName("one", 1);
  storage_->GetModuleTable().AddObject("Pre", registered.Get());

  EXPECT_EQ(RunContext("'Lib' import 21 Lib:double"), "42");
  // The name space is the file-name part; a second import of the same module is harmless.
  EXPECT_EQ(RunContext("'Archives\\Mods\\Tools' import 'Archives\\Mods\\Tools' import Tools:three"),
            "3");
  EXPECT_EQ(RunContext("'Pre' import Pre:one"), "1");
  EXPECT_EQ(RunContext("'Nope' import"),
            "error: TStorageManager.ImportIntoContext: No storage object with name:Nope found");
  // The context's own name spaces are never replaced by a module.
  WriteFile("Global.stx", "[D ]");
  EXPECT_EQ(RunContext("'Global' import"),
            "error: TSLDictionary.AddObject: object with name 'Global' already exists");
}

TEST_F(ScriptClassTest, StorageClassesListTheirMethodsInIndexOrder) {
  struct TCase {
    std::shared_ptr<TScriptClass> scriptClass;
    std::vector<std::string> names;
  };
  const TCase cases[] = {
      {std::make_shared<TStorageObjectManagerScriptClass>(),
       {"GetObject", "CreateObject", "ObjectExists", "SetData", "GetData", "SetFormat",
        "GetFormat", "GetName", "Read", "Write"}},
      {std::make_shared<TArchiveManagerScriptClass>(),
       {"GetArchive", "GetIndexOfName", "GetNameAtIndex", "GetFormatAtIndex", "GetDataAtIndex",
        "GetCount", "AddEntry", "RemoveEntryWithName", "RemoveEntryAtIndex", "Clear", "Write",
        "AddLink"}},
  };
  for (const TCase& c : cases) {
    for (size_t i = 0; i < c.names.size(); ++i)
      EXPECT_EQ(c.scriptClass->GetMethodName(static_cast<int32_t>(i)), c.names[i]);
    EXPECT_EQ(c.scriptClass->GetMethodName(static_cast<int32_t>(c.names.size())), "");
  }
}

TEST_F(ScriptClassTest, StorageObjectManagerCreatesWritesAndReadsBack) {
  storage_->AnnounceScriptClass("StorageObjectManager",
                                std::make_shared<TStorageObjectManagerScriptClass>());
  EXPECT_EQ(RunContext("Create:StorageObjectManager /m exch def "
                       "'data.stx' m.ObjectExists "
                       "'data.stx' m.CreateObject /o exch def "
                       "o [D /a 1 ] m.SetData o 'EASCII' m.SetFormat o m.GetFormat o m.Write "
                       "'data.stx' m.ObjectExists "
                       "'data.stx' 'r' m.GetObject /p exch def p m.Read "
                       "p m.GetData /a get p m.GetFormat p m.GetName"),
            "#0 'eascii' #1 1 'ascii' '" + Root() + "data.stx'");
  EXPECT_EQ(RunContext("Create:StorageObjectManager /m exch def 7 m.GetName"),
            "error: TStorageObjectManagerScriptObject.GetObjectAt: index (7) out of bounds (0)");
}

TEST_F(ScriptClassTest, ArchiveManagerEditsAnArchive) {
  storage_->AnnounceScriptClass("ArchiveManager", std::make_shared<TArchiveManagerScriptClass>());
  WriteFile("Pack/linked.stx", "[A 1 2 ]");
  EXPECT_EQ(RunContext("Create:ArchiveManager /m exch def 'Pack.sla' 'RW' m.GetArchive /a exch def "
                       "a 'b.stx' 'ascii' [D /x 2 ] m.AddEntry "
                       "a 'a.stx' 'EASCII' 5 m.AddEntry "
                       "a 'linked.stx' 'ascii' m.AddLink "
                       "a m.Write a m.GetCount a 'B.STX' m.GetIndexOfName a 'none' m.GetIndexOfName "
                       "a 0 m.GetNameAtIndex a 0 m.GetFormatAtIndex a 0 m.GetDataAtIndex "
                       "a 'a.stx' m.RemoveEntryWithName a 0 m.RemoveEntryAtIndex a m.GetCount"),
            "0 1 2 3 1 -1 'a.stx' 'eascii' 5 1");
  // What was written reads back through a new archive object.
  storage_.reset();
  TRefObjManager::Instance().ReleasePool();
  storage_ = std::make_unique<TStorageManager>();
  InstallStorage(*storage_, Root());
  storage_->AnnounceScriptClass("ArchiveManager", std::make_shared<TArchiveManagerScriptClass>());
  EXPECT_EQ(RunContext("Create:ArchiveManager /m exch def 'Pack.sla' 'R' m.GetArchive /a exch def "
                       "a m.GetCount a 2 m.GetDataAtIndex a 'b.stx' 'ascii' 0 m.AddEntry"),
            "error: TSLDictionary.AddObject: object with name 'b.stx' already exists");
  EXPECT_EQ(RunContext("Create:ArchiveManager /m exch def 'Pack.sla' 'R' m.GetArchive /a exch def "
                       "a m.GetCount a 2 m.GetDataAtIndex"),
            "3 [A 1 2 ]");
}

}  // namespace
}  // namespace tolvek
