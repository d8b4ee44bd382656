// The in-memory character stream.
#include "script/string_stream.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

void TSLStringStream::Open(int32_t mode) {
  mode_ = mode;
  position_ = 0;
}

void TSLStringStream::Rewrite() {
  data_.clear();
  position_ = 0;
  mode_ = smWrite;
}

void TSLStringStream::Close() {
  data_.clear();
  position_ = 0;
  mode_ = smRead;
}

uint8_t TSLStringStream::ReadChar() {
  if (!CanRead()) throw EError(StrFormat("%s.Read: stream not in read mode", ClassName()));
  if (position_ >= data_.size())
    throw EError(StrFormat("%s.Read: end of stream reached", ClassName()));
  return static_cast<uint8_t>(data_[position_++]);
}

void TSLStringStream::WriteChar(uint8_t c) {
  if (!CanWrite()) throw EError(StrFormat("%s.Write: stream not in write mode", ClassName()));
  if (position_ < data_.size())
    data_[position_] = static_cast<char>(c);
  else
    data_.push_back(static_cast<char>(c));
  ++position_;
}

void TSLStringStream::Write(std::string_view data) {
  if (!CanWrite()) throw EError(StrFormat("%s.Write: stream not in write mode", ClassName()));
  if (position_ == data_.size()) {
    data_.append(data);
    position_ += data.size();
    return;
  }
  for (char c : data) WriteChar(static_cast<uint8_t>(c));
}

void TSLStringStream::Seek(int64_t position) {
  if (position < 0 || position > static_cast<int64_t>(data_.size()))
    throw EError(StrFormat("%s.Seek: position not in stream range", ClassName()));
  position_ = static_cast<size_t>(position);
}

std::string_view TSLStringStream::ReadWindow() {
  if (!CanRead() || position_ >= data_.size()) return {};
  return std::string_view(data_).substr(position_);
}

void TSLStringStream::LoadText(std::string_view text) {
  data_.assign(text.data(), text.size());
  Open(smRead);
}

void TSLStringStream::AdoptText(std::string&& text) {
  data_ = std::move(text);
  Open(smRead);
}

std::string TSLStringStream::TakeText() {
  std::string text = std::move(data_);
  data_.clear();
  position_ = 0;
  return text;
}

}  // namespace tolvek
