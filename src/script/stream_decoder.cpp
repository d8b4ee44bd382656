// The decoder: tokens to a value graph.
#include "script/stream_decoder.h"

#include <typeinfo>

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/sl_array.h"
#include "script/sl_record.h"
#include "script/sl_scanners.h"

namespace tolvek {

// The children of the innermost open composite: the top `count` entries of the object stack.
class TSLStreamDecoder::TChildren : public TSLCompData {
public:
  TChildren(TSLObject* const* first, int32_t count) : first_(first), count_(count) {}
  int32_t GetCount() const override { return count_; }
  TSLObject* GetNextObj() override {
    if (next_ >= count_) throw EError("Internal error: no more objects on stack");
    return first_[next_++];
  }
  TSLObject* GetObjAt(int32_t index) override {
    if (index < 0 || index >= count_)
      throw EError(StrFormat("Internal error: index (%d) is out of bounds (%d)", index, count_));
    return first_[index];
  }

private:
  TSLObject* const* first_;
  int32_t count_;
  int32_t next_ = 0;
};

TSLStreamDecoder::TSLStreamDecoder() { firstScanner_.fill(-1); }

TSLStreamDecoder::~TSLStreamDecoder() {
  Reset();
  for (TSLIdent* ident : spareIdents_) ident->Release();
}

namespace {
constexpr size_t kMaxSpareIdents = 4096;
}  // namespace

void TSLStreamDecoder::SetIdentValue(TSLToken& token, std::string_view name, bool executable) {
  if (spareIdents_.empty()) {
    SetValue(token, NewObj<TSLIdent>(name, executable));
    return;
  }
  TSLIdent* ident = spareIdents_.back();
  spareIdents_.pop_back();
  ident->SetName(name);
  ident->SetExecutable(executable);
  ident->SetDbgInfo(nullptr);
  token.Kind = TSLToken::tkValue;
  token.Value = ident;
}

void TSLStreamDecoder::RegisterStandardSyntax() {
  AddScanner(NewObj<TSLWhitespaceScanner>());
  AddScanner(NewObj<TSLNumberScanner>());
  AddScanner(NewObj<TSLStringScanner>());
  AddScanner(NewObj<TSLIdentScanner>());
  AddScanner(NewObj<TSLCompositeScanner>());
  AddScanner(NewObj<TSLBooleanScanner>());
  AddScanner(NewObj<TSLPointerScanner>());
  AddScanner(NewObj<TSLCommentScanner>());
  RegisterComposite('A', TRef<TSLComposite>(NewObj<TSLArray>()).Get());
  RegisterComposite('B', TRef<TSLComposite>(NewObj<TSLBlock>()).Get());
  RegisterComposite('P', TRef<TSLComposite>(NewObj<TSLProcedure>()).Get());
  RegisterComposite('D', TRef<TSLComposite>(NewObj<TSLDictionary>()).Get());
  RegisterComposite('S', TRef<TSLComposite>(NewObj<TSLStack>()).Get());
  RegisterComposite('R', TRef<TSLComposite>(NewObj<TSLRecord>()).Get());
}

void TSLStreamDecoder::AddScanner(TSLScanner* scanner) {
  TRef<TSLScanner> held(scanner);
  const auto index = static_cast<int16_t>(scanners_.size());
  scanners_.push_back(held);
  for (int c = 0; c < 256; ++c)
    if (firstScanner_[c] < 0 && scanner->CanStart(static_cast<uint8_t>(c))) {
      firstScanner_[c] = index;
      // Spaces and tabs count no lines, so the standard scanner's work can be done in the loop.
      skipInline_[c] = (c == ' ' || c == '\t') && typeid(*scanner) == typeid(TSLWhitespaceScanner);
    }
}

void TSLStreamDecoder::RegisterComposite(char typeLetter, TSLComposite* prototype) {
  TRef<TSLComposite> held(prototype);
  const std::string letter(1, typeLetter);
  if (typeLetter < 'A' || typeLetter > 'Z')
    throw EError(StrFormat("Internal error: illegal composite type '%s'", letter));
  TRef<TSLComposite>& slot = composites_[static_cast<size_t>(typeLetter - 'A')];
  if (slot)
    throw EError(StrFormat("Internal error: composite of type '%s' is already registered", letter));
  slot = held;
}

std::string TSLStreamDecoder::SourceName(uint16_t id) const {
  std::string name = sourceNames_ && id != 0 ? sourceNames_->SourceName(id) : std::string();
  if (name.empty()) return "string";
  // Only the file-name part: sources are registered with their full names.
  const size_t slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

void TSLStreamDecoder::Reset() noexcept {
  for (TSLObject* obj : objects_)
    if (obj) {
      try {
        obj->Release();
      } catch (...) {
      }
    }
  objects_.clear();
  open_.clear();
  references_.clear();
  if (named_) named_->Clear();
}

void TSLStreamDecoder::EmptyDecodedComposites() noexcept {
  // Everything in the list was made by the failed call and is handed to nobody, so emptying it
  // is safe; it frees composites that refer to themselves, which releasing alone cannot.
  TRef<TSLRecord> empty;
  for (TRef<TSLComposite>& composite : references_) {
    try {
      if (auto* record = dynamic_cast<TSLRecord*>(composite.Get())) {
        if (!empty) empty = MakeRef<TSLRecord>();
        record->AssignObject(empty.Get());
      } else if (auto* collection = dynamic_cast<TSLCollection*>(composite.Get())) {
        collection->Clear();
      }
    } catch (...) {
    }
  }
}

void TSLStreamDecoder::PushChild(TSLObject* value) {
  objects_.push_back(value);
  if (value) value->Retain();
  if (!open_.empty()) ++open_.back().ChildCount;
}

void TSLStreamDecoder::CloseComposite() {
  const TOpen top = open_.back();
  const size_t first = objects_.size() - static_cast<size_t>(top.ChildCount);
  TChildren children(objects_.data() + first, top.ChildCount);
  top.Composite->InitFromCompData(children);
  for (size_t i = objects_.size(); i-- > first;) {
    TSLObject* child = objects_[i];
    if (!child) continue;
    if (child->GetCount() == 1 && spareIdents_.size() < kMaxSpareIdents &&
        typeid(*child) == typeid(TSLIdent)) {
      spareIdents_.push_back(static_cast<TSLIdent*>(child));  // nothing else holds it
      continue;
    }
    child->Release();
  }
  objects_.resize(first);
  open_.pop_back();
}

void TSLStreamDecoder::HandleToken(TSLToken& token, int32_t tokPos, int32_t tokLine,
                                   int32_t tokLength) {
  switch (token.Kind) {
    case TSLToken::tkValue: {
      TSLObject* value = token.Value;
      if (withDebugInfo_)
        value->SetDbgInfo(std::make_unique<TElmDbgInfo>(tokPos, tokLength, tokLine, storageID_));
      // The token's reference moves to the object stack.
      objects_.push_back(value);
      token.Value = nullptr;
      if (!open_.empty()) ++open_.back().ChildCount;
      break;
    }
    case TSLToken::tkOpener: {
      const TRef<TSLComposite>& prototype = composites_[static_cast<size_t>(token.TypeChar - 'A')];
      if (!prototype)
        throw EError(StrFormat("unknown composite type '%s'", std::string(1, token.TypeChar)));
      TRef<TSLComposite> composite(prototype->CreateEmpty());
      if (!token.Name.empty()) composite->SetName(token.Name);
      if (withDebugInfo_)
        composite->SetDbgInfo(std::make_unique<TElmDbgInfo>(tokPos, 2, tokLine, storageID_));
      if (!token.Name.empty()) {
        if (!named_) named_ = MakeRef<TSLDictionary>();
        named_->AddObject(token.Name, composite.Get());
      }
      PushChild(composite.Get());
      references_.push_back(composite);
      open_.push_back(TOpen{composite.Get(), 0});
      break;
    }
    case TSLToken::tkCloser:
      if (open_.empty()) throw EError("composite not opened");
      CloseComposite();
      break;
    case TSLToken::tkPointerIndex:
      if (token.Index < 0 || token.Index >= static_cast<int64_t>(references_.size()))
        throw EError(StrFormat("pointer index (%d) is out of bounds (%d)", token.Index,
                               references_.size()));
      PushChild(references_[static_cast<size_t>(token.Index)].Get());
      break;
    case TSLToken::tkPointerName:
      if (!named_ || !named_->Known(token.Name))
        throw EError(StrFormat("no composite object named '%s' found", token.Name));
      PushChild(named_->GetObjWithName(token.Name));
      break;
    case TSLToken::tkNone:
      break;
  }
}

TRef<TSLObject> TSLStreamDecoder::DecodeObject(TSLLookaheadStream& input, bool withDebugInfo) {
  Reset();
  references_.emplace_back(nullptr);
  withDebugInfo_ = withDebugInfo;
  storageID_ = input.GetStream() ? input.GetStream()->GetStorageID() : 0;
  const int32_t scannerCount = static_cast<int32_t>(scanners_.size());
  TRef<TSLObject> result;
  try {
    bool done = false;
    while (!done && !input.Eof()) {
      std::string_view window = input.Peek();
      uint8_t c;
      if (!window.empty()) {
        c = static_cast<uint8_t>(window[0]);
        if (skipInline_[c]) {
          size_t n = 1;
          while (n < window.size() && skipInline_[static_cast<uint8_t>(window[n])]) ++n;
          input.Advance(n);
          continue;
        }
      } else {
        c = input.ReadChar();
        input.UnreadChar();
      }
      int32_t tokPos = 0;
      int32_t tokLine = 0;
      if (withDebugInfo_) {
        tokPos = static_cast<int32_t>(input.GetPosition());
        tokLine = input.GetLine();
      }
      bool accepted = false;
      const int32_t first = firstScanner_[c];
      for (int32_t i = first; i >= 0 && i < scannerCount; ++i) {
        TSLScanner& scanner = *scanners_[static_cast<size_t>(i)];
        if (i != first && !scanner.CanStart(c)) continue;
        token_.Kind = TSLToken::tkNone;
        token_.Value = nullptr;
        if (scanner.Scan(*this, input, token_)) {
          accepted = true;
          break;
        }
      }
      if (!accepted) {
        const char bad = static_cast<char>(input.ReadChar());
        throw EError(StrFormat("illegal character '%s'", std::string_view(&bad, 1)));
      }
      if (token_.Kind == TSLToken::tkNone) continue;
      const int32_t tokLength =
          withDebugInfo_ ? static_cast<int32_t>(input.GetPosition()) - tokPos : 0;
      HandleToken(token_, tokPos, tokLine, tokLength);
      done = open_.empty() && objects_.size() == 1;
    }
    if (!open_.empty())
      throw EError("illegal nesting (check number of opening and closing square brackets)");
    if (!objects_.empty()) result = TRef<TSLObject>(objects_.back());
  } catch (const EError& e) {
    if (token_.Value) {
      token_.Value->Release();
      token_.Value = nullptr;
    }
    const int32_t line = input.GetLine();
    input.Sync();
    EmptyDecodedComposites();
    Reset();
    throw EError(StrFormat("[%s, %s] Syntax error: ", SourceName(storageID_), line) + e.Message());
  } catch (...) {
    if (token_.Value) {
      token_.Value->Release();
      token_.Value = nullptr;
    }
    input.Sync();
    EmptyDecodedComposites();
    Reset();
    throw;
  }
  input.Sync();
  Reset();
  return result;
}

}  // namespace tolvek
