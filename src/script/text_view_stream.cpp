// The read-only stream over borrowed text.
#include "script/text_view_stream.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

void TSLTextViewStream::Rewrite() {
  throw EError(StrFormat("%s.Write: stream not in write mode", ClassName()));
}

uint8_t TSLTextViewStream::ReadChar() {
  if (position_ >= text_.size())
    throw EError(StrFormat("%s.Read: end of stream reached", ClassName()));
  return static_cast<uint8_t>(text_[position_++]);
}

void TSLTextViewStream::WriteChar(uint8_t) {
  throw EError(StrFormat("%s.Write: stream not in write mode", ClassName()));
}

void TSLTextViewStream::Seek(int64_t position) {
  if (position < 0 || position > static_cast<int64_t>(text_.size()))
    throw EError(StrFormat("%s.Seek: position not in stream range", ClassName()));
  position_ = static_cast<size_t>(position);
}

}  // namespace tolvek
