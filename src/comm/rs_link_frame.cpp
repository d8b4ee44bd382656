#include "comm/rs_link_frame.h"

namespace tolvek {

uint8_t RsChecksum(std::string_view payload) {
  uint8_t sum = 0;
  for (char c : payload) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
  return sum;
}

std::string RsFrameHeader(std::string_view payload) {
  if (payload.size() > 255) payload = payload.substr(0, 255);
  std::string header(3, '\0');
  header[0] = static_cast<char>(kRsStartByte);
  header[1] = static_cast<char>(payload.size());
  header[2] = static_cast<char>(RsChecksum(payload));
  return header;
}

void TRsReceiver::Feed(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    switch (state_) {
      case rsHunt:
        if (data[i++] == kRsStartByte) state_ = rsLength;
        break;
      case rsLength:
        expectedLength_ = data[i++];
        state_ = rsChecksum;
        break;
      case rsChecksum:
        expectedChecksum_ = data[i++];
        data_.clear();
        state_ = rsData;
        // A frame without payload is complete with its header; waiting for a payload byte
        // would swallow the start of the next frame.
        if (expectedLength_ == 0) Complete();
        break;
      case rsData: {
        size_t take = expectedLength_ - data_.size();
        if (take > size - i) take = size - i;
        data_.append(reinterpret_cast<const char*>(data + i), take);
        i += take;
        if (data_.size() == expectedLength_) Complete();
        break;
      }
    }
  }
}

size_t TRsReceiver::WantedSize() const {
  return state_ == rsData ? expectedLength_ - data_.size() : 1;
}

void TRsReceiver::Reset() {
  state_ = rsHunt;
  data_.clear();
}

void TRsReceiver::Complete() {
  state_ = rsHunt;
  if (RsChecksum(data_) == expectedChecksum_) {
    if (OnFrame) OnFrame(data_);
  } else if (OnChecksumError) {
    OnChecksumError();
  }
  data_.clear();
}

}  // namespace tolvek
