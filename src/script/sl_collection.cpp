// Composite and collection behaviour shared by arrays, dictionaries and records.
#include "script/sl_collection.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "script/sl_scalar.h"
#include "script/stream_encoder.h"

namespace tolvek {

namespace {

// Composites being copied right now, with their copies (innermost last).
thread_local std::vector<std::pair<TSLObject*, TSLObject*>> copyPath;
// Pairs of collections being compared right now.
thread_local std::vector<std::pair<TSLObject*, TSLObject*>> equalPath;
// Collections being walked right now.
thread_local std::vector<TSLObject*> walkPath;

}  // namespace

void TSLComposite::Encode(TSLStreamEncoder& encoder) { encoder.EncodeComposite(*this); }

TSLCollection::TCopyScope::TCopyScope(TSLObject* source, TSLObject* copy) {
  copyPath.emplace_back(source, copy);
}

TSLCollection::TCopyScope::~TCopyScope() { copyPath.pop_back(); }

TRef<TSLObject> TSLCollection::CopyElement(TSLObject* element) {
  if (!element) return nullptr;
  for (auto it = copyPath.rbegin(); it != copyPath.rend(); ++it)
    if (it->first == element) return TRef<TSLObject>(it->second);
  return TRef<TSLObject>(element->CopyObject());
}

TSLObject* TSLCollection::CopyObject() {
  TRef<TSLComposite> copy(CreateEmpty());
  copy->AssignObject(this);
  return copy.AutoRelease();
}

std::string_view TSLCollection::NameForWalk(int32_t) { return {}; }

bool TSLCollection::IsEqual(TSLObject* other) {
  if (other == this) return true;
  auto* o = dynamic_cast<TSLCollection*>(other);
  // "An instance of the receiver's class or of a subclass".
  if (!o || !IsClassOf(o)) return false;
  const int32_t count = GetCount();
  if (o->GetCount() != count) return false;
  for (const auto& pair : equalPath)
    if (pair.first == this && pair.second == other) return true;  // already being compared
  equalPath.emplace_back(this, other);
  struct TPop {
    ~TPop() { equalPath.pop_back(); }
  } pop;
  for (int32_t i = 0; i < count; ++i) {
    if (NameForWalk(i) != o->NameForWalk(i)) return false;
    TSLObject* mine = GetObjAtIndex(i);
    TSLObject* theirs = o->GetObjAtIndex(i);
    if (!mine || !theirs) {
      if (mine != theirs) return false;
      continue;
    }
    if (!mine->IsEqual(theirs)) return false;
  }
  return true;
}

const std::string& TSLCollection::GetStrAtIndex(int32_t index) {
  return CastObj<TSLString>(GetObjAtIndex(index))->GetText();
}

void TSLCollection::SetStrAtIndex(int32_t index, std::string_view text) {
  if (index >= 0 && index < GetCount())
    if (auto* s = dynamic_cast<TSLString*>(GetObjAtIndex(index))) {
      s->SetText(text);
      return;
    }
  TRef<TSLString> value = MakeRef<TSLString>(text);
  SetObjAtIndex(index, value.Get());
}

int64_t TSLCollection::GetInt64AtIndex(int32_t index) {
  return CastObj<TSLLongint>(GetObjAtIndex(index))->GetInt64();
}

double TSLCollection::GetDoubleAtIndex(int32_t index) {
  return CastObj<TSLDouble>(GetObjAtIndex(index))->GetDouble();
}

void TSLCollection::SetDoubleAtIndex(int32_t index, double value) {
  if (index >= 0 && index < GetCount())
    if (auto* d = dynamic_cast<TSLDouble*>(GetObjAtIndex(index))) {
      d->SetDouble(value);
      return;
    }
  TRef<TSLDouble> obj = MakeRef<TSLDouble>(value);
  SetObjAtIndex(index, obj.Get());
}

bool TSLCollection::ForEach(const TForEachCallback& callback, bool includeSelf) {
  int32_t level = 0;
  if (includeSelf) {
    TForEachInfo info;
    info.Obj = this;
    bool stop = false;
    callback(info, stop);
    if (stop) return false;
    level = 1;
  }
  return WalkElements(callback, level);
}

bool TSLCollection::WalkElements(const TForEachCallback& callback, int32_t level) {
  walkPath.push_back(this);
  struct TPop {
    ~TPop() { walkPath.pop_back(); }
  } pop;
  // The count is read each time: a callback may change the collection it visits.
  for (int32_t i = 0; i < GetCount(); ++i) {
    TForEachInfo info;
    info.Obj = GetObjAtIndex(i);
    info.Name = NameForWalk(i);
    info.Level = level;
    info.Parent = this;
    info.Index = i;
    bool stop = false;
    callback(info, stop);
    if (stop) return false;
    if (auto* child = dynamic_cast<TSLCollection*>(info.Obj)) {
      // A collection that contains itself (directly or further down) is visited, not re-entered.
      if (std::find(walkPath.begin(), walkPath.end(), child) != walkPath.end()) continue;
      if (!child->WalkElements(callback, level + 1)) return false;
    }
  }
  return true;
}

}  // namespace tolvek
