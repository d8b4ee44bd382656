// Fault injection, pacing and ordered writing of the drive's output.
#include "line_output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

// How far writing may run ahead of the simulated wire; small against any frame's wire time,
// large enough that the kernel's timer slack does not starve the line.
constexpr std::chrono::microseconds PacingLead{2000};

bool Every(int n, uint64_t index) { return n > 0 && index % static_cast<uint64_t>(n) == 0; }

}  // namespace

TLineOutput::TLineOutput(int fd, int baud, const TFaultOptions& faults, TTranscript* transcript,
                         TSimCounters& counters)
    : fd_(fd), faults_(faults), transcript_(transcript), counters_(counters) {
  if (baud > 0) byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / baud);
}

bool TLineOutput::Silent() const {
  return faults_.silentAfter >= 0 && answerIndex_ > static_cast<uint64_t>(faults_.silentAfter);
}

void TLineOutput::Queue(std::vector<uint8_t> bytes, TSimClock::time_point notBefore) {
  if (faults_.pieceBytes <= 0) {
    queue_.push_back({notBefore, std::chrono::milliseconds(0), std::move(bytes)});
    return;
  }
  const size_t piece = static_cast<size_t>(faults_.pieceBytes);
  for (size_t at = 0; at < bytes.size(); at += piece) {
    const size_t end = std::min(bytes.size(), at + piece);
    queue_.push_back({notBefore, std::chrono::milliseconds(at == 0 ? 0 : faults_.pieceGapMs),
                      std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + end)});
  }
}

void TLineOutput::SendAnswer(std::vector<uint8_t> bytes, size_t checkIndex, bool framed,
                             TSimClock::time_point notBefore) {
  ++answerIndex_;
  if (Silent()) {
    ++counters_.silenced;
    return;
  }
  if (Every(faults_.dropEvery, answerIndex_)) {
    ++counters_.dropped;
    if (transcript_) transcript_->Note(StrFormat("answer %d dropped", answerIndex_));
    return;
  }
  if (Every(faults_.corruptEvery, answerIndex_) && checkIndex < bytes.size()) {
    bytes[checkIndex] = static_cast<uint8_t>(bytes[checkIndex] + 1);
    ++counters_.corrupted;
  }
  if (Every(faults_.lateEvery, answerIndex_)) {
    notBefore += std::chrono::milliseconds(faults_.lateMs);
    ++counters_.late;
  }
  if (framed && faults_.garbageBytes > 0) {
    std::vector<uint8_t> noise(static_cast<size_t>(faults_.garbageBytes));
    for (uint8_t& byte : noise) {
      do byte = static_cast<uint8_t>(noise_());
      while (byte == 0xA5);
    }
    counters_.garbageBytes += noise.size();
    queue_.push_back({notBefore, std::chrono::milliseconds(0), std::move(noise)});
  }
  ++counters_.answers;
  Queue(std::move(bytes), notBefore);
}

void TLineOutput::SendUnsolicited(std::vector<uint8_t> bytes, TSimClock::time_point now) {
  if (Silent()) return;
  ++counters_.unsolicited;
  Queue(std::move(bytes), now);
}

TSimClock::time_point TLineOutput::DueTime(const TChunk& chunk) const {
  if (chunk.sent > 0 || chunk.gapAfterPrevious.count() == 0) return chunk.notBefore;
  return std::max(chunk.notBefore, lastFinished_ + chunk.gapAfterPrevious);
}

void TLineOutput::Pump(TSimClock::time_point now) {
  waitsForWritable_ = false;
  while (!queue_.empty()) {
    TChunk& chunk = queue_.front();
    const TSimClock::time_point due = DueTime(chunk);
    if (due > now) return;
    size_t count = chunk.bytes.size() - chunk.sent;
    if (byteTime_.count() > 0) {
      // The line is a clock: a byte may leave only when the wire before it is (nearly) done. The
      // clock restarts only when the line was idle; if this process was held up while sending,
      // it catches up, as a transmitter with a buffer would.
      if (chunk.sent == 0 && lineFreeAt_ < due) lineFreeAt_ = due;
      const auto ahead = lineFreeAt_ - now;
      if (ahead >= PacingLead) return;
      const size_t budget = static_cast<size_t>((PacingLead - ahead) / byteTime_) + 1;
      count = std::min(count, budget);
    }
    if (count > 0) {
      const ssize_t written = ::write(fd_, chunk.bytes.data() + chunk.sent, count);
      if (written < 0) {
        if (errno == EAGAIN || errno == EINTR) {
          waitsForWritable_ = true;
          return;
        }
        throw EError(StrFormat("writing to the pseudo-terminal failed: %s", std::strerror(errno)));
      }
      if (transcript_) transcript_->Bytes("TX", chunk.bytes.data() + chunk.sent, static_cast<size_t>(written));
      chunk.sent += static_cast<size_t>(written);
      counters_.bytesOut += static_cast<uint64_t>(written);
      lineFreeAt_ += byteTime_ * written;
    }
    if (chunk.sent < chunk.bytes.size()) continue;
    lastFinished_ = byteTime_.count() > 0 ? lineFreeAt_ : now;
    queue_.pop_front();
  }
}

std::optional<TSimClock::time_point> TLineOutput::NextDue(TSimClock::time_point now) const {
  if (queue_.empty() || waitsForWritable_) return std::nullopt;
  TSimClock::time_point due = DueTime(queue_.front());
  if (byteTime_.count() > 0 && lineFreeAt_ - now >= PacingLead) due = std::max(due, lineFreeAt_ - PacingLead + std::chrono::microseconds(100));
  return std::max(due, now);
}

}  // namespace tolvek
