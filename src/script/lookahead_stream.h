// The scanners' view of a character stream: one byte of unread, line counting, and a fast
// path that reads straight from the stream's buffered window.
#pragma once

#include <cstdint>
#include <string_view>

#include "script/char_stream.h"

namespace tolvek {

// Wraps a character stream (retained) for the scanners.
//
// Lines are counted at LF, at a CR not followed by LF, and once for CR LF, so texts with either
// line end number their lines alike. Bytes are taken from the stream's read window where it
// has one; the stream's own position catches up at Sync, which the decoder calls after every
// value it reads (and on failure).
class TSLLookaheadStream : public TSLObject {
public:
  TSLLookaheadStream() = default;
  explicit TSLLookaheadStream(TSLCharStream* stream) { SetStream(stream); }
  ~TSLLookaheadStream() override;
  const char* ClassName() const override { return "TSLLookaheadStream"; }

  // Attaches another stream: no byte pending, line 1.
  void SetStream(TSLCharStream* stream);
  TSLCharStream* GetStream() const noexcept { return stream_; }

  // The pending unread byte, else the stream's next byte.
  uint8_t ReadChar() {
    uint8_t c;
    if (pending_) {
      pending_ = false;
      c = unread_;
    } else if (cur_ < end_) {
      c = static_cast<uint8_t>(*cur_++);
    } else {
      c = ReadSlow();
    }
    CountLine(c);
    unread_ = c;
    return c;
  }
  // Makes the last byte pending again; fails "%s.UnreadChar: Only one character can be unread!"
  // when one is pending already.
  void UnreadChar();
  // No byte left (false while one is pending).
  bool Eof() {
    if (pending_ || cur_ < end_) return false;
    return EofSlow();
  }
  // Position of the next byte, less the position offset.
  int64_t GetPosition();
  // Current line, counted from 1.
  int32_t GetLine() const noexcept { return line_; }
  void SetLine(int32_t line) noexcept { line_ = line; }
  // Subtracted from positions, so they count from the start of a text inside a larger stream.
  int64_t GetPositionOffset() const noexcept { return positionOffset_; }
  void SetPositionOffset(int64_t offset) noexcept { positionOffset_ = offset; }

  // Brings the stream's position up to the bytes taken so far.
  void Sync();

  // Fast path for scanners: the bytes available without a call, starting at the next byte
  // (empty when a byte is pending). Advance moves past bytes taken from it; they must hold
  // no line end.
  std::string_view Peek() const noexcept {
    return pending_ ? std::string_view() : std::string_view(cur_, static_cast<size_t>(end_ - cur_));
  }
  void Advance(size_t count) noexcept {
    if (count == 0) return;
    cur_ += count;
    unread_ = static_cast<uint8_t>(cur_[-1]);
    prevWasCR_ = count == 1 && lastWasCR_;
    lastWasCR_ = false;
    lastCounted_ = false;
  }

private:
  void CountLine(uint8_t c) {
    // A CR counts; an LF counts unless it ends a CR LF.
    prevWasCR_ = lastWasCR_;
    lastCounted_ = c == 13 || (c == 10 && !lastWasCR_);
    lastWasCR_ = c == 13;
    if (lastCounted_) ++line_;
  }
  uint8_t ReadSlow();
  bool EofSlow();
  bool Refill();

  TSLCharStream* stream_ = nullptr;
  const char* begin_ = nullptr;  // the current window
  const char* cur_ = nullptr;
  const char* end_ = nullptr;
  bool pending_ = false;
  uint8_t unread_ = 0;
  bool lastCounted_ = false;
  bool lastWasCR_ = false;
  bool prevWasCR_ = false;
  int32_t line_ = 1;
  int64_t positionOffset_ = 0;
};

}  // namespace tolvek
