// Built-in operations on collections (arrays, dictionaries, records) and on dictionaries,
// names and name spaces.
#include "platform/text_format.h"
#include "script/interp/internal_procedure.h"
#include "script/sl_record.h"

namespace tolvek {

namespace {

// A count operand: a non-negative integer that fits an index.
int32_t CountOperand(TSLContext& context, int32_t depth) {
  const int64_t count = IntOperand(context, depth);
  if (count < 0 || count > INT32_MAX) throw EError(StrFormat("invalid count %d", count));
  return static_cast<int32_t>(count);
}

// An index operand, cut to 32 bits the way collections take it; out-of-range values fail in
// the collection with its own message.
int32_t IndexOperand(TSLContext& context, int32_t depth) {
  const int64_t index = IntOperand(context, depth);
  if (index < INT32_MIN || index > INT32_MAX) return -1;
  return static_cast<int32_t>(index);
}

TOLVEK_SL_OPERATOR(Carr) {
  const int32_t n = CountOperand(context, 0);
  if (n > 0) AnyOperand(context, n);  // fails on too few operands before anything changes
  TRef<TSLArray> array = MakeRef<TSLArray>();
  array->Reserve(n);
  for (int32_t i = n; i >= 1; --i) array->Append(AnyOperand(context, i));
  PopOperands(context, n + 1);
  context.Operands().PushValue(array.Get());
}

TOLVEK_SL_OPERATOR(Cdict) {
  const int32_t n = CountOperand(context, 0);
  if (n > INT32_MAX / 2) throw EError(StrFormat("invalid count %d", n));
  TRef<TSLDictionary> dictionary = MakeRef<TSLDictionary>();
  for (int32_t i = 2 * n; i >= 2; i -= 2)
    dictionary->AddObject(OperandAs<TSLIdent>(context, i)->GetName(), AnyOperand(context, i - 1));
  PopOperands(context, 2 * n + 1);
  context.Operands().PushValue(dictionary.Get());
}

TOLVEK_SL_OPERATOR(Dict) {
  CountOperand(context, 0);
  context.Operands().Drop();
  context.Operands().PushValue(NewObj<TSLDictionary>());
}

TOLVEK_SL_OPERATOR(Crec) {
  auto* type = OperandAs<TSLDictionary>(context, 0);
  const int32_t n = CountOperand(context, 1);
  if (n > INT32_MAX / 2) throw EError(StrFormat("invalid count %d", n));
  TRef<TSLRecord> record = MakeRef<TSLRecord>(type);
  // Pairs are taken from the top of the stack down.
  for (int32_t k = 0; k < n; ++k)
    record->SetObjWithName(NameOperand(context, 3 + 2 * k), AnyOperand(context, 2 + 2 * k));
  PopOperands(context, 2 * n + 2);
  context.Operands().PushValue(record.Get());
}

TOLVEK_SL_OPERATOR(Count) {
  const int32_t count = OperandAs<TSLCollection>(context, 0)->GetCount();
  context.Operands().Drop();
  PushInt(context, count);
}

// The collection operand when it is exactly a TSLArray (the common case, checked without a
// walk of the class tree), else null.
TSLArray* PlainArray(TSLContext& context, int32_t depth) {
  TSLObject* value = AnyOperand(context, depth);
  return value && &typeid(*value) == &typeid(TSLArray) ? static_cast<TSLArray*>(value) : nullptr;
}

TOLVEK_SL_OPERATOR(Get) {
  TSLCollection* collection = PlainArray(context, 1);
  if (!collection) collection = OperandAs<TSLCollection>(context, 1);
  TSLObject* value;
  if (&typeid(*collection) != &typeid(TSLArray) && dynamic_cast<TSLNamedCollection*>(collection))
    value = static_cast<TSLNamedCollection*>(collection)->GetObjWithName(NameOperand(context, 0));
  else
    value = collection->GetObjAtIndex(IndexOperand(context, 0));
  TRef<TSLObject> result(value);
  PopOperands(context, 2);
  context.Operands().PushValue(result.Get());
}

TOLVEK_SL_OPERATOR(Put) {
  TSLObject* value = AnyOperand(context, 0);
  if (TSLArray* array = PlainArray(context, 2)) {
    array->SetObjAtIndex(IndexOperand(context, 1), value);
    PopOperands(context, 3);
    return;
  }
  auto* collection = OperandAs<TSLCollection>(context, 2);
  if (auto* dictionary = dynamic_cast<TSLDictionary*>(collection))
    dictionary->AddObject(NameOperand(context, 1), value);
  else if (auto* named = dynamic_cast<TSLNamedCollection*>(collection))
    named->SetObjWithName(NameOperand(context, 1), value);
  else
    collection->SetObjAtIndex(IndexOperand(context, 1), value);
  PopOperands(context, 3);
}

TOLVEK_SL_OPERATOR(Puts) {
  TSLObject* value = AnyOperand(context, 0);
  const std::string& name = NameOperand(context, 1);
  auto* dictionary = OperandAs<TSLDictionary>(context, 2);
  if (!dictionary->ReplaceObject(name, value)) dictionary->SetObjWithName(name, value);
  PopOperands(context, 3);
}

TOLVEK_SL_OPERATOR(Del) {
  auto* collection = OperandAs<TSLCollection>(context, 1);
  if (auto* dictionary = dynamic_cast<TSLDictionary*>(collection))
    dictionary->RemoveObjectChecked(NameOperand(context, 0));
  else
    collection->DelObjAtIndex(IndexOperand(context, 0));
  PopOperands(context, 2);
}

TOLVEK_SL_OPERATOR(Undef) {
  const std::string& name = NameOperand(context, 0);
  auto* dictionary = OperandAs<TSLDictionary>(context, 1);
  if (dictionary->Known(name)) dictionary->RemoveObject(name);
  PopOperands(context, 2);
}

TOLVEK_SL_OPERATOR(Known) {
  const bool known = OperandAs<TSLNamedCollection>(context, 1)->Known(NameOperand(context, 0));
  PopOperands(context, 2);
  PushBool(context, known);
}

TOLVEK_SL_OPERATOR(Ins) {
  TSLObject* value = AnyOperand(context, 0);
  const int32_t index = IndexOperand(context, 1);
  OperandAs<TSLCollection>(context, 2)->InsObjAtIndex(index, value);
  PopOperands(context, 3);
}

TOLVEK_SL_OPERATOR(Getsubarr) {
  const int32_t n = CountOperand(context, 0);
  const int32_t start = IndexOperand(context, 1);
  auto* source = OperandAs<TSLCollection>(context, 2);
  TRef<TSLArray> array = MakeRef<TSLArray>();
  for (int32_t k = 0; k < n; ++k) array->Append(source->GetObjAtIndex(start + k));
  PopOperands(context, 3);
  context.Operands().PushValue(array.Get());
}

TOLVEK_SL_OPERATOR(Putsubarr) {
  auto* source = OperandAs<TSLCollection>(context, 0);
  const int32_t start = IndexOperand(context, 1);
  auto* target = OperandAs<TSLCollection>(context, 2);
  TRef<TSLCollection> from(source);
  for (int32_t k = 0; k < from->GetCount(); ++k)
    target->SetObjAtIndex(start + k, from->GetObjAtIndex(k));
  PopOperands(context, 2);
}

TOLVEK_SL_OPERATOR(Getident) {
  std::string name = OperandAs<TSLComposite>(context, 0)->GetName();
  context.Operands().Drop();
  PushIdent(context, name);
}

TOLVEK_SL_OPERATOR(Getrectype) {
  std::string name = OperandAs<TSLRecord>(context, 0)->GetTypeName();
  context.Operands().Drop();
  PushIdent(context, name);
}

// ---- Dictionaries, names and name spaces -----------------------------------------------------

TOLVEK_SL_OPERATOR(Def) {
  TSLObject* value = AnyOperand(context, 0);
  const std::string name = NameOperand(context, 1);
  if (!context.DefineName(name, value)) {
    PopOperands(context, 2);
    ScriptError(context, StrFormat("namespace '%s' not found", name));
    return;
  }
  PopOperands(context, 2);
}

TOLVEK_SL_OPERATOR(Begin) {
  context.BeginDict(OperandAs<TSLDictionary>(context, 0));
  context.Operands().Drop();
}

TOLVEK_SL_OPERATOR(End) {
  if (context.Dicts().Count() <= TSLContext::kPermanentDicts) {
    ScriptError(context, "tried to delete global dictionary");
    return;
  }
  context.EndDict();
}

TOLVEK_SL_OPERATOR(Currentdict) { context.Operands().PushValue(context.CurrentDict()); }

TOLVEK_SL_OPERATOR(Gknown) {
  const bool known = context.Resolve(OperandAs<TSLIdent>(context, 0)->GetName()) != nullptr;
  context.Operands().Drop();
  PushBool(context, known);
}

TOLVEK_SL_OPERATOR(Nknown) {
  const bool known = context.GetNamespaces().Known(StrOperand(context, 0));
  context.Operands().Drop();
  PushBool(context, known);
}

TOLVEK_SL_OPERATOR(Cnamespace) {
  const std::string name = StrOperand(context, 0);
  TRef<TSLDictionary> space = MakeRef<TSLDictionary>();
  context.AddNamespace(name, space.Get());
  context.Operands().Drop();
}

const TSLOperatorEntry kCollectionOperators[] = {
    TOLVEK_SL_ENTRY("carr", Carr),
    TOLVEK_SL_ENTRY("cdict", Cdict),
    TOLVEK_SL_ENTRY("dict", Dict),
    TOLVEK_SL_ENTRY("crec", Crec),
    TOLVEK_SL_ENTRY("count", Count),
    TOLVEK_SL_ENTRY("get", Get),
    TOLVEK_SL_ENTRY("put", Put),
    TOLVEK_SL_ENTRY("puts", Puts),
    TOLVEK_SL_ENTRY("del", Del),
    TOLVEK_SL_ENTRY("undef", Undef),
    TOLVEK_SL_ENTRY("known", Known),
    TOLVEK_SL_ENTRY("ins", Ins),
    TOLVEK_SL_ENTRY("getsubarr", Getsubarr),
    TOLVEK_SL_ENTRY("putsubarr", Putsubarr),
    TOLVEK_SL_ENTRY("getident", Getident),
    TOLVEK_SL_ENTRY("getrectype", Getrectype),
};

const TSLOperatorEntry kDictionaryOperators[] = {
    TOLVEK_SL_ENTRY("def", Def),
    TOLVEK_SL_ENTRY("begin", Begin),
    TOLVEK_SL_ENTRY("end", End),
    TOLVEK_SL_ENTRY("currentdict", Currentdict),
    TOLVEK_SL_ENTRY("gknown", Gknown),
    TOLVEK_SL_ENTRY("nknown", Nknown),
    TOLVEK_SL_ENTRY("cnamespace", Cnamespace),
};

}  // namespace

std::span<const TSLOperatorEntry> CollectionOperators() { return kCollectionOperators; }
std::span<const TSLOperatorEntry> DictionaryOperators() { return kDictionaryOperators; }

}  // namespace tolvek
