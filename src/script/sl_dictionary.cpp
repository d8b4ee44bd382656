// Named collections and dictionaries.
#include "script/sl_dictionary.h"

#include <algorithm>
#include <utility>
#include <typeinfo>

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/name_compare.h"
#include "script/sl_scalar.h"
#include "script/stream_encoder.h"

namespace tolvek {

void TSLNamedCollection::NotAllowed(const char* operation) const {
  throw EError(StrFormat("%s.%s: not allowed in named collection", ClassName(), operation));
}

void TSLNamedCollection::SetCount(int32_t) { NotAllowed("SetCount"); }
void TSLNamedCollection::SetObjAtIndex(int32_t, TSLObject*) { NotAllowed("SetObjAtIndex"); }
void TSLNamedCollection::DelObjAtIndex(int32_t) { NotAllowed("DelObjAtIndex"); }
void TSLNamedCollection::InsObjAtIndex(int32_t, TSLObject*) { NotAllowed("InsObjAtIndex"); }

void TSLNamedCollection::AddObject(std::string_view name, TSLObject* value) {
  if (Known(name))
    throw EError(StrFormat("%s.AddObject: object with name '%s' already exists", ClassName(), name));
  SetObjWithName(name, value);
}

void TSLNamedCollection::RemoveObjectChecked(std::string_view name) {
  if (!Known(name))
    throw EError(StrFormat("%s.RemoveObject: object with name '%s' not found", ClassName(), name));
  RemoveObject(name);
}

void TSLNamedCollection::AssignObject(TSLObject* source) {
  auto* src = CastObj<TSLNamedCollection>(source);
  if (src == this) return;
  TCopyScope scope(src, this);
  const int32_t count = src->GetCount();
  std::vector<std::pair<std::string, TRef<TSLObject>>> copies;
  copies.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i)
    copies.emplace_back(src->GetNameAtIndex(i), CopyElement(src->GetObjAtIndex(i)));
  Clear();
  SetName(src->GetName());
  for (auto& [name, copy] : copies) AddObject(name, copy.Get());
}

const std::string& TSLNamedCollection::GetStrWithName(std::string_view name) {
  return CastObj<TSLString>(GetObjWithName(name))->GetText();
}

void TSLNamedCollection::SetStrWithName(std::string_view name, std::string_view text) {
  if (Known(name))
    if (auto* s = dynamic_cast<TSLString*>(GetObjWithName(name))) {
      s->SetText(text);
      return;
    }
  TRef<TSLString> value = MakeRef<TSLString>(text);
  SetObjWithName(name, value.Get());
}

int64_t TSLNamedCollection::GetInt64WithName(std::string_view name) {
  return CastObj<TSLLongint>(GetObjWithName(name))->GetInt64();
}

void TSLNamedCollection::SetInt64WithName(std::string_view name, int64_t value) {
  if (Known(name))
    if (auto* l = dynamic_cast<TSLLongint*>(GetObjWithName(name))) {
      l->SetInt64(value);
      return;
    }
  TRef<TSLLongint> obj = MakeRef<TSLLongint>(value);
  SetObjWithName(name, obj.Get());
}

double TSLNamedCollection::GetDoubleWithName(std::string_view name) {
  return CastObj<TSLDouble>(GetObjWithName(name))->GetDouble();
}

void TSLNamedCollection::SetDoubleWithName(std::string_view name, double value) {
  if (Known(name))
    if (auto* d = dynamic_cast<TSLDouble*>(GetObjWithName(name))) {
      d->SetDouble(value);
      return;
    }
  TRef<TSLDouble> obj = MakeRef<TSLDouble>(value);
  SetObjWithName(name, obj.Get());
}

bool TSLNamedCollection::GetBoolWithName(std::string_view name) {
  return CastObj<TSLBoolean>(GetObjWithName(name))->GetValue();
}

TSLDictionary::~TSLDictionary() {
  const size_t count = entries_.size();
  for (size_t i = 0; i < count; ++i) {
    if (i + 8 < count) __builtin_prefetch(entries_[i + 8].Value);
    if (entries_[i].Value) entries_[i].Value->Release();
  }
}

std::pair<size_t, bool> TSLDictionary::Find(std::string_view name) const {
  size_t low = 0;
  size_t high = entries_.size();
  while (low < high) {
    const size_t mid = (low + high) / 2;
    const int cmp = CompareNames(entries_[mid].Name, name);
    if (cmp == 0) return {mid, true};
    if (cmp < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return {low, false};
}

TSLObject* TSLDictionary::GetObjAtIndex(int32_t index) {
  if (index < 0 || index >= GetCount())
    throw EError(StrFormat("%s.GetObjAtIndex: index (%d) out of bounds (%d)", ClassName(), index,
                           GetCount()));
  return entries_[static_cast<size_t>(index)].Value;
}

const std::string& TSLDictionary::GetNameAtIndex(int32_t index) {
  if (index < 0 || index >= GetCount())
    throw EError(StrFormat("%s.GetNameAtIndex: index (%d) out of bounds (%d)", ClassName(), index,
                           GetCount()));
  return entries_[static_cast<size_t>(index)].Name;
}

int32_t TSLDictionary::IndexOfObj(TSLObject* value) {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].Value == value) return static_cast<int32_t>(i);
  return -1;
}

void TSLDictionary::Clear() {
  ++changeCount_;
  ++keyChangeCount_;
  std::vector<TEntry> old;
  old.swap(entries_);
  for (TEntry& entry : old)
    if (entry.Value) entry.Value->Release();
}

TSLObject* TSLDictionary::GetObjWithName(std::string_view name) {
  auto [pos, found] = Find(name);
  if (!found) throw EError(StrFormat("%s error: no object named %s", ClassName(), name));
  return entries_[pos].Value;
}

void TSLDictionary::SetObjWithName(std::string_view name, TSLObject* value) {
  auto [pos, found] = Find(name);
  if (found)
    throw EError(StrFormat("%s.SetObjWithName: object with name '%s' already exists", ClassName(),
                           name));
  ++changeCount_;
  ++keyChangeCount_;
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(pos),
                  TEntry{std::string(name), value});
  if (value) value->Retain();
}

void TSLDictionary::RemoveObject(std::string_view name) {
  auto [pos, found] = Find(name);
  if (!found)
    throw EError(StrFormat("%s.RemoveObject: no object found with name '%s'", ClassName(), name));
  ++changeCount_;
  ++keyChangeCount_;
  TSLObject* old = entries_[pos].Value;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(pos));
  if (old) old->Release();
}

bool TSLDictionary::ReplaceObject(std::string_view name, TSLObject* value) {
  auto [pos, found] = Find(name);
  if (!found) return false;
  ++changeCount_;
  if (value) value->Retain();
  TEntry& entry = entries_[pos];
  TSLObject* old = std::exchange(entry.Value, value);
  entry.Name.assign(name.data(), name.size());
  if (old) old->Release();
  return true;
}

int32_t TSLDictionary::IndexOfName(std::string_view name) {
  auto [pos, found] = Find(name);
  return found ? static_cast<int32_t>(pos) : -1;
}

namespace {

// "at line 3 and index 17 " style location of a decoded child, empty without a position.
std::string KeyLocation(TSLObject* child) {
  TElmDbgInfo* info = child ? child->GetDbgInfo() : nullptr;
  if (!info) return {};
  return StrFormat("at line %d and index %d", info->GetTokLine(), info->GetTokPos());
}

}  // namespace

void TSLDictionary::InitFromCompData(TSLCompData& children) {
  const int32_t count = children.GetCount();
  // Every key is checked before anything is added, so a bad text adds nothing.
  for (int32_t i = 0; i < count; i += 2) {
    TSLObject* key = children.GetObjAt(i);
    auto* ident = key && typeid(*key) == typeid(TSLIdent) ? static_cast<TSLIdent*>(key)
                                                           : dynamic_cast<TSLIdent*>(key);
    if (!ident)
      throw EError(StrFormat("illegal key %sin dictionary %s",
                             StrFormat("(%s) ", key ? key->ClassName() : "nil"), KeyLocation(key)));
    if (ident->GetExecutable())
      throw EError(StrFormat("executable key %sin dictionary %s",
                             StrFormat("'%s' ", ident->GetName()), KeyLocation(key)));
  }
  if (count % 2 != 0) {
    TElmDbgInfo* info = children.GetObjAt(0)->GetDbgInfo();
    throw EError(StrFormat("odd number of objects in dictionary %s",
                           info ? StrFormat("starting at line %d ", info->GetTokLine())
                                : std::string()));
  }

  if (!entries_.empty()) {
    for (int32_t i = 0; i < count; i += 2)
      AddObject(static_cast<TSLIdent*>(children.GetObjAt(i))->GetName(), children.GetObjAt(i + 1));
    return;
  }
  // Sorting the decoded pairs once is far cheaper than sorted insertion one by one; texts
  // written by the encoder are in order already and need no sorting at all. Equal keys stay in
  // source order, so the key reported is the one that adding one by one would have failed on:
  // the earliest second occurrence in the text.
  struct TPair {
    const std::string* Name;
    TSLObject* Value;
    int32_t Source;
  };
  thread_local std::vector<TPair> pairs;
  pairs.clear();
  pairs.reserve(static_cast<size_t>(count / 2));
  bool sorted = true;
  for (int32_t i = 0; i < count; i += 2) {
    const std::string& name = static_cast<TSLIdent*>(children.GetObjAt(i))->GetName();
    if (sorted && !pairs.empty() && CompareNames(*pairs.back().Name, name) >= 0) sorted = false;
    pairs.push_back(TPair{&name, children.GetObjAt(i + 1), i});
  }
  if (!sorted) {
    std::sort(pairs.begin(), pairs.end(), [](const TPair& a, const TPair& b) {
      const int cmp = CompareNames(*a.Name, *b.Name);
      return cmp != 0 ? cmp < 0 : a.Source < b.Source;
    });
    const TPair* repeat = nullptr;
    for (size_t i = 1; i < pairs.size(); ++i)
      if (CompareNames(*pairs[i - 1].Name, *pairs[i].Name) == 0 &&
          (i < 2 || CompareNames(*pairs[i - 2].Name, *pairs[i].Name) != 0) &&
          (!repeat || pairs[i].Source < repeat->Source))
        repeat = &pairs[i];
    if (repeat)
      throw EError(StrFormat("%s.AddObject: object with name '%s' already exists", ClassName(),
                             *repeat->Name));
  }
  ++changeCount_;
  ++keyChangeCount_;
  entries_.reserve(pairs.size());
  for (const TPair& pair : pairs) {
    entries_.push_back(TEntry{*pair.Name, pair.Value});
    if (pair.Value) pair.Value->Retain();
  }
}

void TSLDictionary::EncodeContents(TSLStreamEncoder& encoder) {
  // Values and long names live all over the heap. Asking for the first ones all at once, and
  // then for each one a few entries ahead, lets their loads overlap instead of waiting for one
  // after the other; records, with their three entries, gain most.
  constexpr size_t kAhead = 8;
  const size_t count = entries_.size();
  for (size_t i = 0; i < std::min(count, kAhead); ++i) {
    __builtin_prefetch(entries_[i].Value);
    __builtin_prefetch(entries_[i].Name.data());
  }
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) {
      __builtin_prefetch(entries_[i + kAhead].Value);
      __builtin_prefetch(entries_[i + kAhead].Name.data());
    }
    encoder.WriteIdent(entries_[i].Name, false);
    encoder.EncodeObject(entries_[i].Value);
  }
}

}  // namespace tolvek
