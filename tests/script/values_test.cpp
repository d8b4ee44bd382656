// Script values: reference counting and the pool, collection operations and their messages,
// typed accessors, records, walks, equality, copying and assignment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/sl_array.h"
#include "script/sl_class.h"
#include "script/sl_dictionary.h"
#include "script/sl_record.h"
#include "script/sl_scalar.h"
#include "script_test_support.h"

namespace tolvek {
namespace {

using RefCounting = ScriptTest;

TEST_F(RefCounting, AutoReleasedValueLivesUntilTheNextDrain) {
  TRefObjManager& manager = TRefObjManager::Instance();
  const int64_t objects = manager.ObjectCount();
  TSLLongint* value = MakeAuto<TSLLongint>(7);
  EXPECT_EQ(manager.ObjectCount(), objects + 1);
  EXPECT_EQ(value->GetCount(), 1);
  EXPECT_EQ(value->GetInt64(), 7);  // still valid: nothing drained yet

  TRef<TSLLongint> kept(MakeAuto<TSLLongint>(8));
  manager.ReleasePool();
  EXPECT_EQ(manager.ObjectCount(), objects + 1);  // only the retained one survived
  EXPECT_EQ(kept->GetCount(), 1);
}

TEST_F(RefCounting, CountersAndMisuseMessages) {
  TRefObjManager& manager = TRefObjManager::Instance();
  const int64_t refs = manager.RefCount();
  TSLString* text = NewObj<TSLString>("x");
  text->Retain();
  text->Retain();
  EXPECT_EQ(manager.RefCount(), refs + 2);
  EXPECT_EQ(FailureOf([&] { text->Free(); }), "Error using reference counting");
  text->Release();
  text->Release();  // destroys it
  EXPECT_EQ(manager.RefCount(), refs);

  TSLArray* array = NewObj<TSLArray>();
  EXPECT_EQ(FailureOf([&] { array->Release(); }), "TSLArray.Release: reference counter is zero");
  EXPECT_EQ(FailureOf([&] { array->AutoRelease(); }),
            "TSLArray.AutoRelease: reference counter is zero");
  array->Free();
}

TEST_F(RefCounting, PoolStartsAt2000AndGrowsBy1000) {
  TRefObjManager& manager = TRefObjManager::Instance();
  EXPECT_EQ(manager.PoolCapacity(), 2000u);
  for (int i = 0; i < 2001; ++i) MakeAuto<TSLBoolean>(true);
  EXPECT_EQ(manager.PoolCapacity(), 3000u);
  EXPECT_EQ(manager.PoolCount(), 2001u);
  manager.ReleasePool();
  EXPECT_EQ(manager.PoolCount(), 0u);
}

TEST_F(RefCounting, TraceEventNamesTheClass) {
  std::vector<std::string> events;
  TRefObjManager::Instance().TraceEvent = [&](const std::string& e) { events.push_back(e); };
  { TRef<TSLDictionary> dict = MakeRef<TSLDictionary>(); }
  TRefObjManager::Instance().TraceEvent = nullptr;
  EXPECT_EQ(events, (std::vector<std::string>{"Create TSLDictionary", "Destroy TSLDictionary"}));
}

TEST_F(RefCounting, ContainersRetainAndReleaseTheirElements) {
  TRef<TSLString> text = MakeRef<TSLString>("a");
  TRef<TSLArray> array = MakeRef<TSLArray>();
  array->SetObjAtIndex(0, text.Get());
  array->SetObjAtIndex(1, text.Get());
  EXPECT_EQ(text->GetCount(), 3);
  array->SetObjAtIndex(0, text.Get());  // replacing an element by itself keeps it alive
  EXPECT_EQ(text->GetCount(), 3);
  array->DelObjAtIndex(1);
  EXPECT_EQ(text->GetCount(), 2);
  array.Reset();
  EXPECT_EQ(text->GetCount(), 1);
}

using Collections = ScriptTest;

TEST_F(Collections, ArrayIndexOperationsAndTheirMessages) {
  TRef<TSLArray> array = MakeRef<TSLArray>();
  TRef<TSLLongint> one = MakeRef<TSLLongint>(1);
  array->SetCount(5);
  EXPECT_EQ(array->GetCount(), 5);
  EXPECT_EQ(array->GetObjAtIndex(4), nullptr);
  array->SetCount(2);
  EXPECT_EQ(array->GetCount(), 2);
  array->SetCount(3);
  array->SetObjAtIndex(3, one.Get());  // index == count appends
  EXPECT_EQ(array->GetObjAtIndex(3), one.Get());
  EXPECT_EQ(array->IndexOfObj(one.Get()), 3);
  array->InsObjAtIndex(0, one.Get());
  EXPECT_EQ(array->IndexOfObj(one.Get()), 0);
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { array->SetObjAtIndex(6, one.Get()); },
       "TSLArray.SetObjAtIndex: index (6) out of bounds (5)"},
      {[&] { array->SetObjAtIndex(-1, one.Get()); },
       "TSLArray.SetObjAtIndex: index (-1) out of bounds (5)"},
      {[&] { array->GetObjAtIndex(5); }, "TSLArray.ObjectAtIndex: no object to fetch at index 5"},
      {[&] { array->InsObjAtIndex(6, one.Get()); },
       "TSLArray.InsObjAtIndex: index (6) out of bounds (5)"},
      {[&] { array->DelObjAtIndex(5); }, "TSLArray.DelObjAtIndex: index (5) out of bounds (5)"},
  };
  for (const auto& [action, message] : cases) EXPECT_EQ(FailureOf(action), message);
  EXPECT_EQ(array->GetCount(), 5);  // failures changed nothing
  TRef<TSLBlock> block = MakeRef<TSLBlock>();
  EXPECT_EQ(FailureOf([&] { block->SetObjAtIndex(5, nullptr); }),
            "TSLBlock.SetObjAtIndex: index (5) out of bounds (0)");
}

TEST_F(Collections, StackIndexZeroIsTheTop) {
  TRef<TSLStack> stack = MakeRef<TSLStack>();
  TRef<TSLLongint> a = MakeRef<TSLLongint>(1), b = MakeRef<TSLLongint>(2),
                   c = MakeRef<TSLLongint>(3);
  stack->Push(a.Get());
  stack->Push(b.Get());
  stack->SetObjAtIndex(2, c.Get());  // index == count goes to the bottom
  EXPECT_EQ(stack->GetObjAtIndex(0), b.Get());
  EXPECT_EQ(stack->GetObjAtIndex(1), a.Get());
  EXPECT_EQ(stack->GetObjAtIndex(2), c.Get());
  EXPECT_EQ(stack->IndexOfObj(c.Get()), 2);
  stack->InsObjAtIndex(0, c.Get());
  EXPECT_EQ(stack->GetObjAtIndex(0), c.Get());
  stack->DelObjAtIndex(0);

  // A popped value survives its removal until the pool drains.
  TSLObject* top = stack->Pop(true);
  EXPECT_EQ(top, b.Get());
  EXPECT_EQ(b->GetCount(), 2);  // our TRef and the pool
  EXPECT_EQ(stack->Pop(false), nullptr);
  stack->Pop(false);
  EXPECT_EQ(stack->GetCount(), 0);
  EXPECT_EQ(FailureOf([&] { stack->Pop(true); }),
            "TSLStack.ObjectAtIndex: no object to fetch at index -1");
  EXPECT_EQ(FailureOf([&] { stack->Pop(false); }),
            "TSLStack.DelObjAtIndex: index (-1) out of bounds (0)");
}

TEST_F(Collections, DictionaryIsSortedAndCaseInsensitive) {
  TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
  for (const char* name : {"beta", "Alpha", "_x", "gamma", "ALPHA2"})
    dict->SetInt64WithName(name, 1);
  std::vector<std::string> names;
  for (int32_t i = 0; i < dict->GetCount(); ++i) names.push_back(dict->GetNameAtIndex(i));
  EXPECT_EQ(names, (std::vector<std::string>{"_x", "Alpha", "ALPHA2", "beta", "gamma"}));
  EXPECT_TRUE(dict->Known("alpha"));
  EXPECT_EQ(dict->IndexOfName("GAMMA"), 4);
  EXPECT_EQ(dict->IndexOfName("delta"), -1);
  dict->RemoveObject("BETA");
  EXPECT_FALSE(dict->Known("beta"));

  TRef<TSLLongint> v = MakeRef<TSLLongint>(2);
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { dict->GetObjWithName("nope"); }, "TSLDictionary error: no object named nope"},
      {[&] { dict->SetObjWithName("alpha", v.Get()); },
       "TSLDictionary.SetObjWithName: object with name 'alpha' already exists"},
      {[&] { dict->AddObject("alpha", v.Get()); },
       "TSLDictionary.AddObject: object with name 'alpha' already exists"},
      {[&] { dict->RemoveObject("nope"); },
       "TSLDictionary.RemoveObject: no object found with name 'nope'"},
      {[&] { dict->RemoveObjectChecked("nope"); },
       "TSLDictionary.RemoveObject: object with name 'nope' not found"},
      {[&] { dict->GetObjAtIndex(4); }, "TSLDictionary.GetObjAtIndex: index (4) out of bounds (4)"},
      {[&] { dict->GetNameAtIndex(-1); },
       "TSLDictionary.GetNameAtIndex: index (-1) out of bounds (4)"},
      {[&] { dict->SetCount(1); }, "TSLDictionary.SetCount: not allowed in named collection"},
      {[&] { dict->SetObjAtIndex(0, v.Get()); },
       "TSLDictionary.SetObjAtIndex: not allowed in named collection"},
      {[&] { dict->InsObjAtIndex(0, v.Get()); },
       "TSLDictionary.InsObjAtIndex: not allowed in named collection"},
      {[&] { dict->DelObjAtIndex(0); }, "TSLDictionary.DelObjAtIndex: not allowed in named collection"},
  };
  for (const auto& [action, message] : cases) EXPECT_EQ(FailureOf(action), message);
  EXPECT_EQ(dict->GetCount(), 4);
}

TEST_F(Collections, TypedAccessors) {
  TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
  dict->SetStrWithName("Name", "drive");
  dict->SetInt64WithName("Port", 5);
  dict->SetDoubleWithName("Gain", 0.5);
  TRef<TSLBoolean> flag = MakeRef<TSLBoolean>(true);
  dict->SetObjWithName("On", flag.Get());
  TSLObject* nameValue = dict->GetObjWithName("name");
  dict->SetStrWithName("NAME", "axis");  // in place: same object
  EXPECT_EQ(dict->GetObjWithName("name"), nameValue);
  EXPECT_EQ(dict->GetStrWithName("Name"), "axis");
  EXPECT_EQ(dict->GetInt64WithName("port"), 5);
  EXPECT_EQ(dict->GetDoubleWithName("gain"), 0.5);
  EXPECT_TRUE(dict->GetBoolWithName("on"));
  EXPECT_EQ(FailureOf([&] { dict->GetDoubleWithName("Port"); }), "Invalid class typecast");
  EXPECT_EQ(FailureOf([&] { dict->GetStrWithName("Port"); }), "Invalid class typecast");
  EXPECT_EQ(FailureOf([&] { dict->SetStrWithName("Port", "x"); }),
            "TSLDictionary.SetObjWithName: object with name 'Port' already exists");

  TRef<TSLArray> array = MakeRef<TSLArray>();
  array->SetStrAtIndex(0, "a");  // appends
  array->SetDoubleAtIndex(1, 2.5);
  TSLObject* first = array->GetObjAtIndex(0);
  array->SetStrAtIndex(0, "b");
  EXPECT_EQ(array->GetObjAtIndex(0), first);
  array->SetStrAtIndex(1, "c");  // element of another class: replaced
  EXPECT_EQ(array->GetStrAtIndex(1), "c");
  EXPECT_EQ(FailureOf([&] { array->GetInt64AtIndex(0); }), "Invalid class typecast");
  EXPECT_EQ(FailureOf([&] { array->SetStrAtIndex(5, "x"); }),
            "TSLArray.SetObjAtIndex: index (5) out of bounds (2)");
  EXPECT_EQ(array->GetCount(), 2);
}

TEST_F(Collections, RecordsStartWithTheTypeDefaults) {
  TRef<TSLDictionary> type = MakeRef<TSLDictionary>();
  type->SetName("Point");
  type->SetInt64WithName("x", 1);
  type->SetInt64WithName("y", 2);
  TRef<TSLRecord> record = MakeRef<TSLRecord>(type.Get());
  EXPECT_EQ(record->GetTypeName(), "Point");
  EXPECT_EQ(record->GetCount(), 2);
  record->SetInt64WithName("X", 10);
  EXPECT_EQ(type->GetInt64WithName("x"), 1);  // the defaults were copied
  record->RemoveObject("y");
  EXPECT_EQ(record->GetObjWithName("y"), nullptr);
  EXPECT_EQ(record->GetNameAtIndex(1), "y");
  EXPECT_EQ(FailureOf([&] { record->GetObjWithName("z"); }),
            "TSLRecord.GetObjWithName: object with name 'z' not found");
  EXPECT_EQ(FailureOf([&] { record->RemoveObject("z"); }),
            "TSLRecord.GetObjWithName: object with name 'z' not found");
  EXPECT_EQ(FailureOf([&] { record->GetObjAtIndex(2); }),
            "TSLArray.ObjectAtIndex: no object to fetch at index 2");
  EXPECT_EQ(FailureOf([&] { record->AddObject("x", nullptr); }),
            "TSLRecord.AddObject: object with name 'x' already exists");

  TRef<TSLRecord> copy(static_cast<TSLRecord*>(record->CopyObject()));
  EXPECT_EQ(copy->GetType(), type.Get());
  EXPECT_EQ(copy->GetInt64WithName("x"), 10);
  EXPECT_TRUE(copy->IsEqual(record.Get()));

  record->Clear();
  EXPECT_EQ(record->GetInt64WithName("x"), 1);
  EXPECT_EQ(record->GetInt64WithName("y"), 2);
  EXPECT_FALSE(copy->IsEqual(record.Get()));

  // Assignment between records of a type takes the source's values.
  record->AssignObject(copy.Get());
  EXPECT_EQ(record->GetInt64WithName("x"), 10);
  EXPECT_EQ(record->GetObjWithName("y"), nullptr);
}

TEST_F(Collections, ForEachWalksDepthFirstAndStops) {
  TRef<TSLDictionary> root = MakeRef<TSLDictionary>();
  TRef<TSLArray> list = MakeRef<TSLArray>();
  list->SetStrAtIndex(0, "a");
  list->SetStrAtIndex(1, "b");
  root->SetObjWithName("List", list.Get());
  root->SetInt64WithName("Zed", 1);

  std::vector<std::string> seen;
  auto record = [&](const TForEachInfo& info, bool&) {
    seen.push_back(std::to_string(info.Level) + ":" + std::string(info.Name) + ":" +
                   std::to_string(info.Index) + (info.Parent ? "" : ":root"));
  };
  EXPECT_TRUE(root->ForEach(record, true));
  EXPECT_EQ(seen, (std::vector<std::string>{"0::0:root", "1:List:0", "2::0", "2::1", "1:Zed:1"}));

  seen.clear();
  EXPECT_FALSE(root->ForEach(
      [&](const TForEachInfo& info, bool& stop) {
        record(info, stop);
        stop = info.Level == 1 && info.Index == 0 && info.Name.empty();
      },
      false));
  EXPECT_EQ(seen, (std::vector<std::string>{"0:List:0", "1::0"}));
}

using Values = ScriptTest;

TEST_F(Values, NumberConversions) {
  TRef<TSLLongint> l = MakeRef<TSLLongint>();
  for (auto [in, out] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {1.4, 1}}) {
    l->SetDouble(in);
    EXPECT_EQ(l->GetInt64(), out) << in;
  }
  l->SetBoolean(true);
  EXPECT_EQ(l->GetInt64(), -1);
  l->SetString("$1F");
  EXPECT_EQ(l->GetString(), "31");
  EXPECT_EQ(FailureOf([&] { l->SetString("1.5"); }), "'1.5' is not a valid integer value");

  TRef<TSLDouble> d = MakeRef<TSLDouble>(-3.9);
  EXPECT_EQ(d->GetInt64(), -3);
  d->SetDouble(1e20);
  EXPECT_EQ(d->GetString(), "1E20");
  d->SetString("0.25");
  EXPECT_EQ(d->GetString(), "0.25");
  d->SetBoolean(true);
  EXPECT_EQ(d->GetDouble(), 1.0);
  EXPECT_EQ(FailureOf([&] { d->SetString("1,5"); }), "'1,5' is not a valid floating point value");
}

TEST_F(Values, EqualityRules) {
  auto L = [](int64_t v) { return MakeRef<TSLLongint>(v); };
  auto D = [](double v) { return MakeRef<TSLDouble>(v); };
  TRef<TSLObject> a = L(3), b = D(3.9), c = MakeRef<TSLIdent>("a", false),
                  d = MakeRef<TSLIdent>("a", true), e = MakeRef<TSLString>("A"),
                  f = MakeRef<TSLString>("a"), g = MakeRef<TSLBoolean>(true), h = D(3.0);
  struct Case {
    TSLObject* left;
    TSLObject* right;
    bool equal;
  } cases[] = {
      {a.Get(), b.Get(), true},   // the double is truncated
      {b.Get(), a.Get(), false},  // 3.9 is not 3.0
      {h.Get(), a.Get(), true},
      {c.Get(), d.Get(), true},   // the executable flag is not compared
      {e.Get(), f.Get(), false},  // strings are case-sensitive
      {f.Get(), c.Get(), false},
      {g.Get(), a.Get(), false},
  };
  for (const Case& k : cases)
    EXPECT_EQ(k.left->IsEqual(k.right), k.equal) << k.left->ClassName() << " " << k.right->ClassName();

  TRef<TSLArray> x = MakeRef<TSLArray>();
  TRef<TSLBlock> y = MakeRef<TSLBlock>();
  x->SetObjAtIndex(0, a.Get());
  y->SetObjAtIndex(0, h.Get());
  EXPECT_TRUE(x->IsEqual(y.Get()));   // a block is an array
  EXPECT_FALSE(y->IsEqual(x.Get()));  // an array is not a block
  x->SetObjAtIndex(1, nullptr);
  y->SetObjAtIndex(1, nullptr);
  EXPECT_TRUE(x->IsEqual(y.Get()));

  TRef<TSLDictionary> p = MakeRef<TSLDictionary>(), q = MakeRef<TSLDictionary>();
  p->SetInt64WithName("Key", 1);
  q->SetInt64WithName("key", 1);
  EXPECT_FALSE(p->IsEqual(q.Get()));  // names must be byte-identical
}

TEST_F(Values, AssignmentAcceptsOnlyItsOwnClass) {
  TRef<TSLLongint> l = MakeRef<TSLLongint>(1);
  TRef<TSLDouble> d = MakeRef<TSLDouble>(2.0);
  EXPECT_EQ(FailureOf([&] { l->AssignObject(d.Get()); }), "Invalid class typecast");
  TRef<TSLIdent> literal = MakeRef<TSLIdent>("a", false), exec = MakeRef<TSLIdent>("b", true);
  literal->AssignObject(exec.Get());
  EXPECT_EQ(literal->GetName(), "b");
  EXPECT_FALSE(literal->GetExecutable());
  EXPECT_EQ(FailureOf([&] { l->SetExecutable(true); }),
            "TSLLongint.SetExecutable: method not implemented");

  TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
  dict->SetInt64WithName("kept", 1);
  TRef<TSLArray> array = MakeRef<TSLArray>();
  EXPECT_EQ(FailureOf([&] { dict->AssignObject(array.Get()); }), "Invalid class typecast");
  EXPECT_TRUE(dict->Known("kept"));
}

TEST_F(Values, CopiesAreDeepAndKeepTheirShape) {
  TRef<TSLProcedure> proc = MakeRef<TSLProcedure>();
  proc->SetExecutable(true);
  proc->SetName("p");
  TRef<TSLArray> params = MakeRef<TSLArray>();
  params->SetStrAtIndex(0, "x");
  proc->SetObjAtIndex(0, params.Get());
  proc->SetObjAtIndex(1, nullptr);
  TSLObject* copy = proc->CopyObject();
  EXPECT_STREQ(copy->ClassName(), "TSLArray");
  EXPECT_FALSE(copy->GetExecutable());
  auto* array = static_cast<TSLArray*>(copy);
  EXPECT_EQ(array->GetName(), "p");
  EXPECT_NE(array->GetObjAtIndex(0), params.Get());
  EXPECT_TRUE(array->GetObjAtIndex(0)->IsEqual(params.Get()));
  EXPECT_EQ(array->GetObjAtIndex(1), nullptr);

  TRef<TSLStack> stack = MakeRef<TSLStack>();
  stack->Push(params.Get());
  stack->Push(proc.Get());
  auto* stackCopy = static_cast<TSLStack*>(stack->CopyObject());
  EXPECT_STREQ(stackCopy->ClassName(), "TSLStack");
  EXPECT_STREQ(stackCopy->GetObjAtIndex(0)->ClassName(), "TSLArray");  // the copied procedure

  TRef<TSLClass> object = MakeRef<TSLClass>();
  EXPECT_EQ(object->CopyObject(), object.Get());
}

TEST_F(Values, ScriptObjectFreesItsHostObjectWithTheDictionary) {
  struct TCountingClass : TScriptClass {
    int destroyed = 0;
    void* CreateScriptObject(TContextInterface&) override { return nullptr; }
    void DestroyScriptObject(void* handle) override { destroyed += handle == this ? 1 : 100; }
    void CallMethod(void*, int32_t, TContextInterface&) override {}
    std::string GetMethodName(int32_t) override { return {}; }
  } hostClass;
  TRef<TSLClass> object = MakeRef<TSLClass>();
  object->Bind(&hostClass, &hostClass);
  TRef<TSLDictionary> holder = MakeRef<TSLDictionary>();
  holder->SetObjWithName("obj", object.Get());
  holder->SetObjWithName("copy", object->CopyObject());  // shared, not duplicated
  object.Reset();
  EXPECT_EQ(hostClass.destroyed, 0);
  holder.Reset();
  EXPECT_EQ(hostClass.destroyed, 1);
}

TEST_F(Values, CyclicCollectionsCopyAndCompareWithoutEndlessRecursion) {
  TRef<TSLArray> ring = MakeRef<TSLArray>();
  ring->SetStrAtIndex(0, "a");
  ring->SetObjAtIndex(1, ring.Get());
  TRef<TSLArray> copy(static_cast<TSLArray*>(ring->CopyObject()));
  EXPECT_EQ(copy->GetObjAtIndex(1), copy.Get());
  EXPECT_TRUE(copy->IsEqual(ring.Get()));
  int visits = 0;
  EXPECT_TRUE(ring->ForEach([&](const TForEachInfo&, bool&) { ++visits; }, false));
  EXPECT_EQ(visits, 2);
  // Break the cycles so the counts reach zero.
  ring->Clear();
  copy->Clear();
}

}  // namespace
}  // namespace tolvek
