// The tokenizers of the call stack.
#include "script/interp/sl_tokenizer.h"

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/interp/sl_context.h"
#include "script/sl_scalar.h"

namespace tolvek {

TSLObject* TSLTokenizer::GetNextToken(TSLContext&, bool&) {
  MethodNotImplemented("GetNextToken");
  return nullptr;  // a subclass may override MethodNotImplemented
}

TSLObject* TSLObjectTokenizer::GetNextToken(TSLContext&, bool&) {
  if (!pending_) return nullptr;
  pending_ = false;
  return element_.Get();
}

void TSLBlockTokenizer::SetBlock(TSLArray* block) {
  block_ = TRef<TSLArray>(block);
  index_ = -1;
}

TSLObject* TSLBlockTokenizer::NextOfBlock() {
  if (!block_) throw EError(StrFormat("%s.GetNextToken: ProcTokenizer not initialized", ClassName()));
  if (index_ + 1 >= block_->GetCount()) {
    index_ = block_->GetCount();
    return nullptr;
  }
  return block_->GetObjAtIndex(++index_);
}

TSLObject* TSLBlockTokenizer::GetNextToken(TSLContext&, bool&) { return NextOfBlock(); }

TSLObject* TSLExceptTokenizer::GetNextToken(TSLContext&, bool&) {
  return raised_ ? NextOfBlock() : nullptr;
}

void TSLFinallyTokenizer::SetPendingException(TSLObject* exception) {
  pending_ = TRef<TSLObject>(exception);
  phase_ = 1;
}

TSLObject* TSLFinallyTokenizer::GetNextToken(TSLContext& context, bool&) {
  if (phase_ == 2) return nullptr;
  TSLObject* element = NextOfBlock();
  if (element || phase_ == 0) return element;
  // The final block is done: hand the exception on. The interpreter removes this tokenizer
  // itself (not merely the top one), so the "raise" placed above it survives.
  phase_ = 2;
  TRef<TSLObject> exception = std::move(pending_);
  context.Operands().PushValue(exception.Get());
  context.PushTokenizer(NewObj<TSLObjectTokenizer>(NewObj<TSLIdent>("raise", true)));
  return nullptr;
}

TSLProcTokenizer::TSLProcTokenizer(TSLProcedure* procedure) : procedure_(procedure) {
  const int32_t count = procedure->GetCount();
  if (count == 0 || !dynamic_cast<TSLArray*>(procedure->GetObjAtIndex(0)))
    throw EError(StrFormat("%s.Init: Invalid Procedure(first object is not of type TSLArray)",
                           ClassName()));
  if (!dynamic_cast<TSLArray*>(procedure->GetObjAtIndex(count - 1)))
    throw EError(StrFormat("%s.Init: Invalid Procedure(last object is not of type TSLArray)",
                           ClassName()));
}

namespace {

// A parameter or result name: a name or a string.
const std::string& NameOf(TSLObject* element) {
  if (auto* ident = dynamic_cast<TSLIdent*>(element)) return ident->GetName();
  return CastObj<TSLString>(element)->GetText();
}

}  // namespace

void TSLProcTokenizer::Start(TSLContext& context) {
  dictCount_ = context.Dicts().Count();
  locals_ = MakeRef<TSLDictionary>();
  context.BeginDict(locals_.Get());
  auto* params = CastObj<TSLArray>(procedure_->GetObjAtIndex(0));
  TSLValueStack& operands = context.Operands();
  for (int32_t i = params->GetCount() - 1; i >= 0; --i) {
    const std::string& name = NameOf(params->GetObjAtIndex(i));
    TRef<TSLObject> value = operands.PopRef();
    locals_->AddObject(name, value.Get());
  }
  operandCount_ = operands.Count();
}

void TSLProcTokenizer::Finish(TSLContext& context) {
  finished_ = true;
  context.Operands().DropTo(operandCount_);
  auto* results = CastObj<TSLArray>(procedure_->GetObjAtIndex(procedure_->GetCount() - 1));
  // Every result is found before any is pushed, so a missing one pushes nothing.
  std::vector<TRef<TSLObject>> values;
  values.reserve(static_cast<size_t>(results->GetCount()));
  for (int32_t i = 0; i < results->GetCount(); ++i)
    values.emplace_back(locals_->GetObjWithName(NameOf(results->GetObjAtIndex(i))));
  for (auto& value : values) context.Operands().PushValue(value.Get());
  context.DropDictsTo(dictCount_);
}

void TSLProcTokenizer::MoveToEnd() noexcept { atEnd_ = true; }

TSLObject* TSLProcTokenizer::GetNextToken(TSLContext& context, bool&) {
  if (finished_) return nullptr;
  if (index_ < 0) {
    Start(context);
    index_ = 0;
  }
  ++index_;
  if (atEnd_ || index_ >= procedure_->GetCount() - 1) {
    Finish(context);
    return nullptr;
  }
  TSLObject* element = procedure_->GetObjAtIndex(index_);
  // A null element ends the body; the procedure still returns its results and its dictionary.
  if (!element) Finish(context);
  return element;
}

TSLObject* TSLRepeatTokenizer::GetNextToken(TSLContext&, bool&) {
  const int32_t count = block_->GetCount();
  if (count == 0 || (remaining_ != -1 && remaining_ <= 0)) return nullptr;
  if (++index_ >= count) {
    if (remaining_ == -1) {
      index_ = 0;
    } else if (remaining_ > 1) {
      --remaining_;
      index_ = 0;
    } else {
      remaining_ = 0;
      return nullptr;
    }
  }
  TSLObject* element = block_->GetObjAtIndex(index_);
  if (!element) remaining_ = 0;
  return element;
}

TSLForTokenizer::TSLForTokenizer(TSLObject* start, TSLObject* step, TSLObject* limit,
                                 TSLArray* body)
    : body_(body) {
  if (dynamic_cast<TSLLongint*>(limit)) {
    current_ = CastObj<TSLNumber>(start)->GetInt64();
    step_ = CastObj<TSLNumber>(step)->GetInt64();
    limit_ = static_cast<TSLLongint*>(limit)->GetInt64();
  } else {
    isFloat_ = true;
    currentF_ = CastObj<TSLDouble>(start)->GetDouble();
    stepF_ = CastObj<TSLDouble>(step)->GetDouble();
    limitF_ = CastObj<TSLDouble>(limit)->GetDouble();
  }
}

TSLObject* TSLForTokenizer::NextCounter() {
  // The counter pushed last is usually consumed by the body; when nobody else holds it any
  // more it serves as the next one, so a loop does not allocate a number per pass.
  if (!spare_ || spare_->GetCount() != 1 || spare_->GetDbgInfo()) {
    if (isFloat_)
      spare_ = TRef<TSLNumber>(NewObj<TSLDouble>(currentF_));
    else
      spare_ = TRef<TSLNumber>(NewObj<TSLLongint>(current_));
  } else if (isFloat_) {
    static_cast<TSLDouble*>(spare_.Get())->TSLDouble::SetDouble(currentF_);
  } else {
    static_cast<TSLLongint*>(spare_.Get())->TSLLongint::SetInt64(current_);
  }
  return spare_.Get();
}

TSLObject* TSLForTokenizer::GetNextToken(TSLContext&, bool& asData) {
  for (;;) {
    if (ended_) return nullptr;
    if (index_ < 0) {
      const bool done = isFloat_ ? (stepF_ > 0 ? currentF_ > limitF_ : stepF_ < 0 && currentF_ < limitF_)
                                 : (step_ > 0 ? current_ > limit_ : step_ < 0 && current_ < limit_);
      if (done) {
        ended_ = true;
        return nullptr;
      }
      index_ = 0;
      asData = true;
      return NextCounter();
    }
    if (index_ < body_->GetCount()) {
      TSLObject* element = body_->GetObjAtIndex(index_++);
      if (!element) ended_ = true;
      return element;
    }
    // A pass is done: count on. A counter that would leave the 64-bit range has passed
    // every limit.
    if (isFloat_) {
      currentF_ += stepF_;
    } else if (__builtin_add_overflow(current_, step_, &current_)) {
      ended_ = true;
    }
    index_ = -1;
  }
}

TSLObject* TSLForallTokenizer::GetNextToken(TSLContext&, bool& asData) {
  for (;;) {
    if (!collection_) return nullptr;
    if (index_ < 0) {
      if (elementIndex_ >= collection_->GetCount()) return nullptr;
      index_ = 0;
      asData = true;
      if (TSLNamedCollection* named = named_) {
        // A fresh name each pass: the tokenizer keeps it until the next one.
        name_ = TRef<TSLIdent>(NewObj<TSLIdent>(named->GetNameAtIndex(elementIndex_), false));
        return name_.Get();
      }
      TSLObject* element = collection_->GetObjAtIndex(elementIndex_);
      if (!element) collection_.Reset();
      return element;
    }
    if (index_ < body_->GetCount()) {
      TSLObject* element = body_->GetObjAtIndex(index_++);
      if (!element) collection_.Reset();
      return element;
    }
    index_ = -1;
    ++elementIndex_;
  }
}

}  // namespace tolvek
