// The scanners' lookahead stream.
#include "script/lookahead_stream.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

TSLLookaheadStream::~TSLLookaheadStream() {
  if (stream_) {
    try {
      Sync();
    } catch (...) {
    }
    stream_->Release();
  }
}

void TSLLookaheadStream::SetStream(TSLCharStream* stream) {
  if (stream) stream->Retain();
  if (stream_) {
    try {
      Sync();
    } catch (...) {
    }
    stream_->Release();
  }
  stream_ = stream;
  begin_ = cur_ = end_ = nullptr;
  pending_ = false;
  lastCounted_ = lastWasCR_ = prevWasCR_ = false;
  line_ = 1;
}

void TSLLookaheadStream::Sync() {
  if (stream_ && begin_) {
    stream_->ConsumeWindow(static_cast<size_t>(cur_ - begin_));
  }
  begin_ = cur_ = end_ = nullptr;
}

bool TSLLookaheadStream::Refill() {
  Sync();
  if (!stream_) return false;
  const std::string_view window = stream_->ReadWindow();
  if (window.empty()) return false;
  begin_ = cur_ = window.data();
  end_ = window.data() + window.size();
  return true;
}

uint8_t TSLLookaheadStream::ReadSlow() {
  if (Refill()) return static_cast<uint8_t>(*cur_++);
  if (!stream_) throw EError(StrFormat("%s.Read: no stream attached", ClassName()));
  // No window: byte by byte, which also raises the stream's own failures at its end.
  return stream_->ReadChar();
}

bool TSLLookaheadStream::EofSlow() {
  if (Refill()) return false;
  return !stream_ || stream_->Eof();
}

void TSLLookaheadStream::UnreadChar() {
  if (pending_)
    throw EError(StrFormat("%s.UnreadChar: Only one character can be unread!", ClassName()));
  pending_ = true;
  if (lastCounted_) --line_;
  lastWasCR_ = prevWasCR_;
  lastCounted_ = false;
}

int64_t TSLLookaheadStream::GetPosition() {
  int64_t position = stream_ ? stream_->GetPosition() : 0;
  if (begin_) position += cur_ - begin_;
  if (pending_) --position;
  return position - positionOffset_;
}

}  // namespace tolvek
