// Contexts: stacks, name resolution, the run state and the interpreter's step.
#include "script/interp/sl_context.h"

#include "platform/text_format.h"
#include "script/interp/internal_procedure.h"

namespace tolvek {

namespace {

void CheckDictionary(TSLObject* value) { CastObj<TSLDictionary>(value); }
void CheckTokenizer(TSLObject* value) { CastObj<TSLTokenizer>(value); }

}  // namespace

TSLContext::TSLContext()
    : operands_(NewObj<TSLValueStack>()),
      dicts_(NewObj<TSLValueStack>()),
      calls_(NewObj<TSLValueStack>()),
      namespaces_(NewObj<TSLDictionary>()) {
  operandInterface_ = std::make_unique<TContextStackInterface>(*operands_);
  dictInterface_ =
      std::make_unique<TContextStackInterface>(*dicts_, &CheckDictionary, &dictStackChange_);
  callInterface_ = std::make_unique<TContextStackInterface>(*calls_, &CheckTokenizer);
  interface_ = std::make_unique<TContextInterfaceImplementation>(*this);
}

TSLContext::~TSLContext() {
  // Tokenizers first: they may refer to dictionaries and operands.
  spareTokenizers_.clear();
  calls_->Clear();
  operands_->Clear();
  dicts_->Clear();
}

void TSLContext::ResumeBreak() {
  if (state_ != csBreak) throw EError("resume called while not in wait state");
  state_ = csRunning;
}

void TSLContext::ClearError() {
  errorConverted_ = false;
  errorLocation_.Reset();
}

void TSLContext::BeginDict(TSLDictionary* dictionary) {
  CheckDictionary(dictionary);
  ++dictStackChange_;
  dicts_->PushValue(dictionary);
}

void TSLContext::EndDict() {
  ++dictStackChange_;
  dicts_->Drop();
}

void TSLContext::DropDictsTo(int32_t count) {
  if (dicts_->Count() <= count) return;
  ++dictStackChange_;
  dicts_->DropTo(count);
}

TSLDictionary* TSLContext::CurrentDict() { return static_cast<TSLDictionary*>(dicts_->Top()); }

void TSLContext::PushTokenizer(TSLTokenizer* tokenizer) { calls_->PushValue(tokenizer); }

void TSLContext::PushBlockTokenizer(TSLArray* block) {
  if (spareTokenizers_.empty()) {
    calls_->PushValue(NewObj<TSLBlockTokenizer>(block));
    return;
  }
  TRef<TSLBlockTokenizer> tokenizer = std::move(spareTokenizers_.back());
  spareTokenizers_.pop_back();
  tokenizer->SetBlock(block);
  calls_->PushValue(tokenizer.Get());
}

void TSLContext::RemoveTokenizer(TSLTokenizer* tokenizer) {
  if (calls_->Count() && calls_->Top() == tokenizer) {
    if (tokenizer->GetCount() == 1 && &typeid(*tokenizer) == &typeid(TSLBlockTokenizer) &&
        spareTokenizers_.size() < kMaxSpareTokenizers) {
      auto* block = static_cast<TSLBlockTokenizer*>(tokenizer);
      block->ResetTokenizer();
      block->SetBlock(nullptr);
      spareTokenizers_.emplace_back(block);
    }
    calls_->Drop();
    return;
  }
  const int32_t index = calls_->IndexOfObj(tokenizer);
  if (index >= 0) calls_->DelObjAtIndex(index);
}

TSLObject* TSLContext::CurrentToken() {
  TSLTokenizer* top = TopTokenizer();
  return top ? top->GetCurrentToken() : nullptr;
}

TSLObject* TSLContext::Resolve(std::string_view name) {
  TSLDictionary* target = nullptr;
  std::string_view rest = name;
  for (;;) {
    const size_t colon = rest.find(':');
    if (colon != std::string_view::npos) {
      const std::string_view space = rest.substr(0, colon);
      const int32_t index = namespaces_->IndexOfName(space);
      if (index < 0) return nullptr;
      target = dynamic_cast<TSLDictionary*>(namespaces_->GetObjAtIndex(index));
      if (!target) return nullptr;
      rest = rest.substr(colon + 1);
    }
    const size_t dot = rest.find('.');
    const std::string_view key = rest.substr(0, dot);
    TSLObject* value = nullptr;
    if (!target) {
      bool found = false;
      for (int32_t i = 0; i < dicts_->Count() && !found; ++i) {
        auto* dictionary = static_cast<TSLDictionary*>(dicts_->Top(i));
        const int32_t index = dictionary->IndexOfName(key);
        if (index >= 0) {
          value = dictionary->GetObjAtIndex(index);
          found = true;
        }
      }
    } else {
      const int32_t index = target->IndexOfName(key);
      if (index >= 0) value = target->GetObjAtIndex(index);
    }
    if (!value) return nullptr;
    if (dot == std::string_view::npos) return value;
    target = dynamic_cast<TSLDictionary*>(value);
    if (!target) return nullptr;
    rest = rest.substr(dot + 1);
  }
}

TSLElementKind TSLContext::KindOf(TSLObject* value) {
  if (!value) return ekData;
  const std::type_info& type = typeid(*value);
  if (&type == &typeid(TSLBlock)) return ekBlock;
  if (&type == &typeid(TSLProcedure)) return ekProcedure;
  if (dynamic_cast<TSLInternalProcedure*>(value)) return ekExecute;
  if (dynamic_cast<TSLProcedure*>(value)) return ekProcedure;
  if (dynamic_cast<TSLBlock*>(value)) return ekBlock;
  return ekData;
}

TSLObject* TSLContext::ResolveUncached(TSLIdent* name, TSLElementKind& kind) {
  TNameCacheEntry& entry =
      nameCache_[(reinterpret_cast<uintptr_t>(name) >> 4) & (kNameCacheSize - 1)];
  const std::string& text = name->GetName();
  TSLObject* value = nullptr;
  TSLDictionary* holder = nullptr;
  int32_t index = -1;
  if (text.find_first_of(".:") == std::string::npos) {
    // A plain name: the first dictionary from the top that knows it.
    for (int32_t i = 0; i < dicts_->Count(); ++i) {
      auto* dictionary = static_cast<TSLDictionary*>(dicts_->Top(i));
      index = dictionary->IndexOfName(text);
      if (index >= 0) {
        holder = dictionary;
        value = dictionary->GetObjAtIndex(index);
        break;
      }
    }
  } else {
    value = Resolve(text);
  }
  if (!value) throw EError(StrFormat("object with name '%s' not found", text));
  kind = KindOf(value);
  entry.Ident = name;
  entry.Name = text;
  entry.Value = value;
  entry.Kind = kind;
  // Only plain dictionaries answer GetObjAtIndex as the cache reads it.
  entry.Dict = holder && &typeid(*holder) == &typeid(TSLDictionary) ? holder : nullptr;
  entry.Index = index;
  entry.KeyChange = TSLDictionary::KeyChangeCount();
  entry.DictChange = TSLDictionary::ChangeCount();
  entry.StackChange = dictStackChange_;
  return value;
}

namespace {

// An executable name that carries the source position of `origin`, so that errors raised
// through it point at the element that caused them.
TSLIdent* NameWithPosition(std::string_view name, TSLObject* origin) {
  TSLIdent* ident = NewObj<TSLIdent>(name, true);
  if (TElmDbgInfo* info = origin ? origin->GetDbgInfo() : nullptr)
    ident->SetDbgInfo(std::make_unique<TElmDbgInfo>(*info));
  return ident;
}

}  // namespace

void TSLContext::CallName(std::string_view name) {
  TRef<TSLIdent> ident(NameWithPosition(name, CurrentToken()));
  PushTokenizer(NewObj<TSLObjectTokenizer>(ident.Get()));
}

void TSLContext::RunValue(TSLObject* value) {
  const TSLElementKind kind = KindOf(value);
  if (kind == ekData) {
    if (auto* ident = dynamic_cast<TSLIdent*>(value)) {
      CallName(ident->GetName());
      return;
    }
  }
  switch (kind) {
    case ekBlock:
      PushBlockTokenizer(static_cast<TSLArray*>(value));
      return;
    case ekProcedure:
      PushTokenizer(NewObj<TSLProcTokenizer>(static_cast<TSLProcedure*>(value)));
      return;
    case ekExecute: {
      TRef<TSLObject> hold(value);
      value->Execute(*this);
      return;
    }
    default:
      throw EInvalidCast();
  }
}

bool TSLContext::DefineName(std::string_view name, TSLObject* value) {
  TSLDictionary* target = nullptr;
  std::string_view key = name;
  const size_t separator = name.find_last_of(".:");
  if (separator == std::string_view::npos) {
    target = CurrentDict();
  } else {
    key = name.substr(separator + 1);
    const std::string_view container = name.substr(0, separator);
    if (name[separator] == ':') {
      if (container.find_first_of(".:") != std::string_view::npos) return false;
      const int32_t index = namespaces_->IndexOfName(container);
      if (index >= 0) target = dynamic_cast<TSLDictionary*>(namespaces_->GetObjAtIndex(index));
    } else {
      target = dynamic_cast<TSLDictionary*>(Resolve(container));
    }
  }
  if (!target) return false;
  if (!target->ReplaceObject(key, value)) target->SetObjWithName(key, value);
  return true;
}

void TSLContext::RaiseException(TSLObject* value) {
  TRef<TSLObject> exception(value);
  try {
    if (!errorConverted_) errorLocation_ = TRef<TSLObject>(CurrentToken());
    TSLTokenizer* top = TopTokenizer();
    while (top && !dynamic_cast<TSLTryTokenizer*>(top)) {
      calls_->Drop();
      top = TopTokenizer();
    }
    if (!top) {
      if (auto* dictionary = dynamic_cast<TSLDictionary*>(value))
        throw EError(dictionary->GetStrWithName("Msg"));
      if (auto* text = dynamic_cast<TSLString*>(value)) throw EError(text->GetText());
      throw EError("exception object is not a dictionary");
    }
    auto* guard = static_cast<TSLTryTokenizer*>(top);
    operands_->DropTo(guard->GetOperandCount());
    DropDictsTo(guard->GetDictCount());
    calls_->Drop();
    TSLTokenizer* handler = TopTokenizer();
    if (auto* except = dynamic_cast<TSLExceptTokenizer*>(handler)) {
      except->SetExceptionRaised();
      operands_->PushValue(value);
    } else if (auto* final = dynamic_cast<TSLFinallyTokenizer*>(handler)) {
      final->SetPendingException(value);
    }
  } catch (...) {
    // Whatever fails here leaves the run: it must not be turned into another exception.
    errorConverted_ = true;
    throw;
  }
}

void TSLContext::ExitBlock() {
  for (int32_t i = 0; i < calls_->Count(); ++i) {
    TSLObject* tokenizer = calls_->Top(i);
    if (dynamic_cast<TSLBlockTokenizer*>(tokenizer) || dynamic_cast<TSLLoopTokenizer*>(tokenizer)) {
      for (int32_t k = 0; k <= i; ++k) calls_->Drop();
      return;
    }
  }
  ScriptError(*this, "exitblock called without enclosing block");
}

void TSLContext::ExitLoop() {
  for (int32_t i = 0; i < calls_->Count(); ++i) {
    if (dynamic_cast<TSLLoopTokenizer*>(calls_->Top(i))) {
      for (int32_t k = 0; k <= i; ++k) calls_->Drop();
      return;
    }
  }
  ScriptError(*this, "exitloop called without enclosing loop");
}

void TSLContext::ExitProc() {
  for (int32_t i = 0; i < calls_->Count(); ++i) {
    if (auto* procedure = dynamic_cast<TSLProcTokenizer*>(calls_->Top(i))) {
      TRef<TSLProcTokenizer> hold(procedure);
      for (int32_t k = 0; k < i; ++k) calls_->Drop();
      procedure->MoveToEnd();
      return;
    }
  }
  ScriptError(*this, "exitproc called without enclosing procedure");
}

// ---- TSLContextImplementation --------------------------------------------------------------

int32_t TSLContextImplementation::GetReexec() const {
  auto* self = const_cast<TSLContextImplementation*>(this);
  TSLTokenizer* top = self->TopTokenizer();
  return top ? top->GetReexec() : 0;
}

void TSLContextImplementation::SetReexec(int32_t value) {
  if (TSLTokenizer* top = TopTokenizer()) top->SetReexec(value);
}

TSLObject* TSLContextImplementation::Lookup(std::string_view name) {
  TSLObject* value = Resolve(name);
  if (!value) throw EError(StrFormat("object with name '%s' not found", name));
  return value;
}

void TSLContextImplementation::AddGlobalDict(std::string_view name, TSLDictionary* dictionary) {
  TRef<TSLDictionary> hold(dictionary);
  GetNamespaces().AddObject(name, dictionary);
  BeginDict(dictionary);
}

void TSLContextImplementation::AddNamespace(std::string_view name, TSLDictionary* dictionary) {
  TRef<TSLDictionary> hold(dictionary);
  GetNamespaces().AddObject(name, dictionary);
}

void TSLContextImplementation::PushBlock(TSLBlock* block) {
  if (state_ != csIdle && state_ != csFinished)
    throw EError("PushBlock is only allowed in finished or idle state");
  TRef<TSLBlock> hold(block);
  if (auto* procedure = dynamic_cast<TSLProcedure*>(block))
    PushTokenizer(NewObj<TSLProcTokenizer>(procedure));
  else
    PushTokenizer(NewObj<TSLBlockTokenizer>(block));
  state_ = csRunning;
}

void TSLContextImplementation::Wait(TSLObject*, int32_t milliseconds) {
  if (state_ == csWait) throw EError("wait called while in wait state");
  waitTime_ = milliseconds;
  state_ = csWait;
}

void TSLContextImplementation::Continue(int32_t argument) {
  if (state_ != csWait) throw EError("continue called while not in wait state");
  state_ = csContinue;
  if (OnContinue) OnContinue(*this, argument);
}

void TSLContextImplementation::Resume(int32_t argument) {
  if (state_ != csWait) throw EError("resume called while not in wait state");
  state_ = csContinue;
  if (OnResume) OnResume(*this, argument);
}

void TSLContextImplementation::AbandonRun() {
  Calls().Clear();
  if (state_ != csIdle) state_ = csFinished;
}

bool TSLContextImplementation::Advance() {
  for (;;) {
    TSLTokenizer* tokenizer = TopTokenizer();
    if (!tokenizer) return false;
    if ((tokenizer->GetReexec() != 0 || state_ == csContinue) && tokenizer->GetCurrentElement())
      return true;
    bool asData = false;
    TSLObject* element = tokenizer->GetNextToken(*this, asData);
    if (!element) {
      RemoveTokenizer(tokenizer);
      continue;
    }
    const std::type_info& type = typeid(*element);
    if (&type == &typeid(TSLIdent)) {
      auto* ident = static_cast<TSLIdent*>(element);
      if (asData || !ident->TSLIdent::GetExecutable()) {
        tokenizer->SetCurrent(element, element, ekData);
      } else {
        TSLElementKind kind;
        TSLObject* value;
        try {
          value = ResolveElement(ident, kind);
        } catch (...) {
          // The name is the error position.
          tokenizer->SetCurrent(nullptr, element, ekNone);
          throw;
        }
        tokenizer->SetCurrent(value, element, kind);
      }
    } else if (asData || &type == &typeid(TSLLongint) || !element->GetExecutable()) {
      tokenizer->SetCurrent(element, element, ekData);
    } else {
      const TSLElementKind kind = KindOf(element);
      tokenizer->SetCurrent(element, element, kind == ekData ? ekExecute : kind);
    }
    return true;
  }
}

void TSLContextImplementation::ExecuteCurrent() {
  TSLTokenizer* tokenizer = TopTokenizer();
  if (!tokenizer) return;
  TSLObject* element = tokenizer->GetCurrentElement();
  switch (tokenizer->GetCurrentKind()) {
    case ekNone:
      return;
    case ekData:
      Operands().PushValue(element);
      return;
    case ekBlock:
      PushBlockTokenizer(static_cast<TSLArray*>(element));
      return;
    case ekProcedure:
      PushTokenizer(NewObj<TSLProcTokenizer>(static_cast<TSLProcedure*>(element)));
      return;
    case ekExecute: {
      // The operation may pop the tokenizer that holds it.
      TRef<TSLObject> hold(element);
      element->Execute(*this);
      return;
    }
  }
}

void TSLContextImplementation::ConvertFailure(const std::string& message) {
  SetErrorConverted(true);
  SetErrorLocation(CurrentToken());
  RaiseScriptError(GetContextInterface(), message);
}

namespace {

// The message of the exception being handled.
std::string CurrentMessage() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown failure";
  }
}

}  // namespace

void TSLContextImplementation::Step() {
  try {
    ExecuteCurrent();
  } catch (...) {
    if (GetErrorConverted()) throw;
    // The position is that of the element that failed, even if the operation changed the
    // call stack before it failed.
    ConvertFailure(CurrentMessage());
  }
  if (state_ != csRunning) return;
  try {
    if (!Advance()) state_ = csFinished;
  } catch (...) {
    if (GetErrorConverted()) throw;
    ConvertFailure(CurrentMessage());
    if (!Advance()) state_ = csFinished;
  }
}

void TSLContextImplementation::RunSteps(uint32_t count) {
  for (uint32_t i = 0; i < count && state_ == csRunning; ++i) Step();
}

void TSLContextImplementation::ContinueAfterWait() {
  TSLTokenizer* tokenizer = TopTokenizer();
  if (tokenizer && tokenizer->GetReexec() != 0) {
    try {
      ExecuteCurrent();
    } catch (...) {
      if (GetErrorConverted() || state_ != csContinue) throw;
      ConvertFailure(CurrentMessage());
    }
  }
  if (state_ == csContinue) {
    state_ = csRunning;
    if (TSLTokenizer* top = TopTokenizer()) top->ClearCurrent();
  }
}

TRef<TSLContextImplementation> CreateScriptContext(TSLDictionary* system, TSLDictionary* create) {
  TRef<TSLContextImplementation> context = MakeRef<TSLContextImplementation>();
  context->AddGlobalDict("System", system);
  context->AddGlobalDict("Create", create);
  TRef<TSLDictionary> global = MakeRef<TSLDictionary>();
  context->AddGlobalDict("Global", global.Get());
  return context;
}

}  // namespace tolvek
