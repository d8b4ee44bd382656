// Tokenizers: the entries of a context's call stack. Each feeds the interpreter the elements of
// one running construct (a block, a procedure, a loop, a protected block or handler) one at a
// time; the top tokenizer supplies the next element.
//
// A tokenizer remembers the element it handed out last (the current element, after name
// resolution), whether that element is run or pushed, and the element as it stood in the
// source (the current token, for the debugger and error positions). Its re-execute value makes
// it hand out the current element again instead of advancing, which is how an operation that
// waited, or that called another name first, gets executed a second time.
#pragma once

#include <cstdint>

#include "script/sl_array.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"

namespace tolvek {

class TSLContext;

// How the interpreter treats the current element.
enum TSLElementKind : uint8_t {
  ekNone,      // no current element: the step does nothing
  ekData,      // pushed on the operand stack
  ekBlock,     // a block: run through a block tokenizer
  ekProcedure, // a procedure: run through a procedure tokenizer
  ekExecute,   // anything else executable: its Execute runs
};

// Base of the call-stack entries.
class TSLTokenizer : public TSLObject {
public:
  const char* ClassName() const override { return "TSLTokenizer"; }

  // The next element, or null when the tokenizer is exhausted. A tokenizer that hands out an
  // element as data whatever its executable flag (loop counters, forall elements) sets
  // `asData`. The base fails "%s.%s: method not implemented".
  virtual TSLObject* GetNextToken(TSLContext& context, bool& asData);

  int32_t GetReexec() const noexcept { return reexec_; }
  void SetReexec(int32_t value) noexcept { reexec_ = value; }

  // The element handed out last, after name resolution (borrowed; null when cleared).
  TSLObject* GetCurrentElement() const noexcept { return current_.Get(); }
  TSLElementKind GetCurrentKind() const noexcept { return kind_; }
  bool GetCurrentExecutable() const noexcept { return kind_ >= ekBlock; }
  // The element as it stood in the source (borrowed; may be null).
  TSLObject* GetCurrentToken() const noexcept { return sameToken_ ? current_.Get() : token_.Get(); }

  // Records a fetched element; `token` is what stood in the source (the name, for a resolved
  // name), usually the element itself.
  void SetCurrent(TSLObject* element, TSLObject* token, TSLElementKind kind) {
    current_ = TRef<TSLObject>(element);
    if (token == element) {
      if (!sameToken_) {
        token_.Reset();
        sameToken_ = true;
      }
    } else {
      if (token_.Get() != token) token_ = TRef<TSLObject>(token);
      sameToken_ = false;
    }
    kind_ = kind;
  }
  // Back to the state of a new tokenizer (no current element, token or re-execute value).
  void ResetTokenizer() {
    reexec_ = 0;
    kind_ = ekNone;
    sameToken_ = true;
    current_.Reset();
    token_.Reset();
  }
  // Forgets the current element (the token stays for error positions).
  void ClearCurrent() {
    if (sameToken_) {
      token_ = std::move(current_);
      sameToken_ = false;
    }
    current_.Reset();
    kind_ = ekNone;
  }

private:
  int32_t reexec_ = 0;
  TSLElementKind kind_ = ekNone;
  // The token is the current element itself (the common case), which then is held once.
  bool sameToken_ = true;
  TRef<TSLObject> current_;
  TRef<TSLObject> token_;
};

// Hands out one element once.
class TSLObjectTokenizer final : public TSLTokenizer {
public:
  explicit TSLObjectTokenizer(TSLObject* element) : element_(element) {}
  const char* ClassName() const override { return "TSLObjectTokenizer"; }
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;

private:
  TRef<TSLObject> element_;
  bool pending_ = true;
};

// Hands out the elements of a block (or any array) in order.
class TSLBlockTokenizer : public TSLTokenizer {
public:
  TSLBlockTokenizer() = default;
  explicit TSLBlockTokenizer(TSLArray* block) { SetBlock(block); }
  const char* ClassName() const override { return "TSLBlockTokenizer"; }
  // Fails "%s.GetNextToken: ProcTokenizer not initialized" before a block is set.
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;

  // Sets the block (retained) and starts before its first element.
  void SetBlock(TSLArray* block);
  TSLArray* GetBlock() const noexcept { return block_.Get(); }

protected:
  // The next element of the block, or null at its end.
  TSLObject* NextOfBlock();

private:
  TRef<TSLArray> block_;
  int32_t index_ = -1;
};

// The protected block of "tryexcept" and "tryfinally"; it remembers the stack depths at entry,
// to which an exception unwinds.
class TSLTryTokenizer final : public TSLBlockTokenizer {
public:
  TSLTryTokenizer(TSLArray* block, int32_t operandCount, int32_t dictCount)
      : TSLBlockTokenizer(block), operandCount_(operandCount), dictCount_(dictCount) {}
  const char* ClassName() const override { return "TSLTryTokenizer"; }
  int32_t GetOperandCount() const noexcept { return operandCount_; }
  int32_t GetDictCount() const noexcept { return dictCount_; }

private:
  int32_t operandCount_;
  int32_t dictCount_;
};

// The handler of "tryexcept": yields nothing unless an exception was raised into it.
class TSLExceptTokenizer final : public TSLBlockTokenizer {
public:
  explicit TSLExceptTokenizer(TSLArray* block) : TSLBlockTokenizer(block) {}
  const char* ClassName() const override { return "TSLExceptTokenizer"; }
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;
  void SetExceptionRaised() noexcept { raised_ = true; }

private:
  bool raised_ = false;
};

// The final block of "tryfinally": runs after a normal end, and after an exception, which it
// raises again once the block is done.
class TSLFinallyTokenizer final : public TSLBlockTokenizer {
public:
  explicit TSLFinallyTokenizer(TSLArray* block) : TSLBlockTokenizer(block) {}
  const char* ClassName() const override { return "TSLFinallyTokenizer"; }
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;
  // Enters phase 1: the block runs with `exception` (retained) pending.
  void SetPendingException(TSLObject* exception);

private:
  int32_t phase_ = 0;  // 0 normal, 1 exception pending, 2 done
  TRef<TSLObject> pending_;
};

// Runs a procedure: parameters from the operand stack into a new local dictionary, the body,
// then the named results back on the operand stack.
class TSLProcTokenizer final : public TSLTokenizer {
public:
  // Fails "%s.Init: Invalid Procedure(first object is not of type TSLArray)" and
  // "%s.Init: Invalid Procedure(last object is not of type TSLArray)".
  explicit TSLProcTokenizer(TSLProcedure* procedure);
  const char* ClassName() const override { return "TSLProcTokenizer"; }
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;
  // Makes the next fetch finish the procedure ("exitproc").
  void MoveToEnd() noexcept;

private:
  void Start(TSLContext& context);
  void Finish(TSLContext& context);

  TRef<TSLProcedure> procedure_;
  TRef<TSLDictionary> locals_;
  int32_t index_ = -1;
  int32_t operandCount_ = 0;
  int32_t dictCount_ = 0;
  bool finished_ = false;
  bool atEnd_ = false;
};

// Base of the three loops ("exitloop" leaves the innermost one).
class TSLLoopTokenizer : public TSLTokenizer {
public:
  const char* ClassName() const override { return "TSLLoopTokenizer"; }
};

// "repeat" and "loop": the block's elements, `remaining` times (-1: endlessly).
class TSLRepeatTokenizer final : public TSLLoopTokenizer {
public:
  TSLRepeatTokenizer(TSLArray* block, int64_t remaining) : block_(block), remaining_(remaining) {}
  const char* ClassName() const override { return "TSLRepeatTokenizer"; }
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;

private:
  TRef<TSLArray> block_;
  int32_t index_ = -1;
  int64_t remaining_;
};

// "for": the counter, then the body, from start by step while the limit is not passed.
class TSLForTokenizer final : public TSLLoopTokenizer {
public:
  // With an integer limit all three are read as 64-bit integers, otherwise all three must be
  // TSLDouble (else the invalid-cast failure).
  TSLForTokenizer(TSLObject* start, TSLObject* step, TSLObject* limit, TSLArray* body);
  const char* ClassName() const override { return "TSLForTokenizer"; }
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;

private:
  TSLObject* NextCounter();

  TRef<TSLArray> body_;
  int32_t index_ = -1;
  bool isFloat_ = false;
  bool ended_ = false;
  int64_t current_ = 0, step_ = 0, limit_ = 0;
  double currentF_ = 0, stepF_ = 0, limitF_ = 0;
  // The counter handed out last; reused when nobody else holds it any more.
  TRef<TSLNumber> spare_;
};

// "forall": each element (or, for a named collection, each name), then the body.
class TSLForallTokenizer final : public TSLLoopTokenizer {
public:
  TSLForallTokenizer(TSLCollection* collection, TSLArray* body)
      : body_(body), collection_(collection),
        named_(dynamic_cast<TSLNamedCollection*>(collection)) {}
  const char* ClassName() const override { return "TSLForallTokenizer"; }
  TSLObject* GetNextToken(TSLContext& context, bool& asData) override;

private:
  TRef<TSLArray> body_;
  int32_t index_ = -1;  // position in the body; -1: the element comes next
  TRef<TSLCollection> collection_;  // reset when a null element ends the loop
  int32_t elementIndex_ = 0;
  TSLNamedCollection* named_;  // the collection, when it is a named one
  TRef<TSLIdent> name_;
};

}  // namespace tolvek
