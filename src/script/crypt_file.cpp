// The enciphered file stream.
#include "script/crypt_file.h"

#include <sys/random.h>

#include <random>
#include <string>

#include "platform/error.h"

namespace tolvek {

namespace {

constexpr char kCryptMagic[] = "%SLE";

void RandomBytes(uint8_t* data, size_t size) {
  ssize_t n = ::getrandom(data, size, GRND_NONBLOCK);
  if (n == static_cast<ssize_t>(size)) return;
  std::random_device device;
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(device());
}

// The key advances modulo 2^16; the arithmetic is unsigned so that the wrap is defined.
uint16_t NextKey(uint8_t cipher, uint16_t key) noexcept {
  return static_cast<uint16_t>((uint32_t{cipher} + key) * TSLCryptFile::kCryptMultiplier +
                               TSLCryptFile::kCryptIncrement);
}

}  // namespace

uint8_t TSLCryptFile::Decipher(uint8_t c) noexcept {
  const auto plain = static_cast<uint8_t>(c ^ (key_ >> 8));
  key_ = NextKey(c, key_);
  return plain;
}

uint8_t TSLCryptFile::Encipher(uint8_t c) noexcept {
  const auto cipher = static_cast<uint8_t>(c ^ (key_ >> 8));
  key_ = NextKey(cipher, key_);
  return cipher;
}

void TSLCryptFile::WriteCryptHeader() {
  key_ = kCryptStartKey;
  TSLCharFile::Write(std::string_view(kCryptMagic, 4));
  uint8_t random[4];
  RandomBytes(random, sizeof random);
  char cipher[4];
  for (int i = 0; i < 4; ++i) cipher[i] = static_cast<char>(Encipher(random[i]));
  TSLCharFile::Write(std::string_view(cipher, 4));
}

void TSLCryptFile::ReadCryptHeader() {
  key_ = kCryptStartKey;
  for (int i = 0; i < 4; ++i)
    if (Eof() || TSLCharFile::ReadChar() != static_cast<uint8_t>(kCryptMagic[i]))
      throw EError("wrong crypt header in stream");
  for (int i = 0; i < 4; ++i) Decipher(TSLCharFile::ReadChar());
}

uint8_t TSLCryptFile::ReadChar() {
  const uint8_t c = TSLCharFile::ReadChar();
  return cipherActive_ ? Decipher(c) : c;
}

void TSLCryptFile::WriteChar(uint8_t c) {
  TSLCharFile::WriteChar(cipherActive_ ? Encipher(c) : c);
}

void TSLCryptFile::Write(std::string_view data) {
  if (!cipherActive_) {
    TSLCharFile::Write(data);
    return;
  }
  std::string cipher(data.size(), '\0');
  const uint16_t keyBefore = key_;
  for (size_t i = 0; i < data.size(); ++i)
    cipher[i] = static_cast<char>(Encipher(static_cast<uint8_t>(data[i])));
  try {
    TSLCharFile::Write(cipher);
  } catch (...) {
    key_ = keyBefore;
    throw;
  }
}

std::string_view TSLCryptFile::ReadWindow() {
  const std::string_view raw = TSLCharFile::ReadWindow();
  if (!cipherActive_) return raw;
  plainSize_ = raw.size() < plain_.size() ? raw.size() : plain_.size();
  for (size_t i = 0; i < plainSize_; ++i) {
    keys_[i] = key_;
    plain_[i] = static_cast<char>(Decipher(static_cast<uint8_t>(raw[i])));
  }
  keys_[plainSize_] = key_;
  // Nothing is consumed yet: the key moves on only with ConsumeWindow.
  key_ = keys_[0];
  return std::string_view(plain_.data(), plainSize_);
}

void TSLCryptFile::ConsumeWindow(size_t count) {
  if (cipherActive_ && count <= plainSize_) key_ = keys_[count];
  plainSize_ = 0;
  TSLCharFile::ConsumeWindow(count);
}

}  // namespace tolvek
