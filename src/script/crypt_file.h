// The enciphered file format ("EASCII"): a file stream that passes its bytes through a 16-bit
// running-key cipher and reads and writes the "%SLE" header.
#pragma once

#include <array>

#include "script/char_file.h"

namespace tolvek {

// A file stream with a byte cipher. While the cipher is active every byte read is deciphered
// and every byte written enciphered: a byte is XORed with the high byte of the running key,
// and the key then advances from the enciphered byte: key = (byte + key) * kCryptMultiplier +
// kCryptIncrement (mod 2^16). Headers reset the key to kCryptStartKey.
class TSLCryptFile : public TSLCharFile {
public:
  static constexpr uint16_t kCryptStartKey = 0x5C3A;
  static constexpr uint16_t kCryptMultiplier = 0xA7E5;
  static constexpr uint16_t kCryptIncrement = 0x2F61;

  using TSLCharFile::TSLCharFile;
  const char* ClassName() const override { return "TSLCryptFile"; }

  bool GetCipherActive() const noexcept { return cipherActive_; }
  void SetCipherActive(bool active) noexcept { cipherActive_ = active; }

  // Resets the key, writes "%SLE" plain and four random bytes enciphered.
  void WriteCryptHeader();
  // Resets the key, checks the four plain bytes "%SLE" (else "wrong crypt header in stream")
  // and skips four enciphered bytes.
  void ReadCryptHeader();

  uint8_t ReadChar() override;
  void WriteChar(uint8_t c) override;
  void Write(std::string_view data) override;
  std::string_view ReadWindow() override;
  void ConsumeWindow(size_t count) override;

private:
  uint8_t Decipher(uint8_t c) noexcept;
  uint8_t Encipher(uint8_t c) noexcept;

  bool cipherActive_ = false;
  uint16_t key_ = kCryptStartKey;
  // The deciphered window and the key before each of its bytes, so consuming part of it leaves
  // the key exactly where byte-wise reading would have.
  std::array<char, 1024> plain_{};
  std::array<uint16_t, 1025> keys_{};
  size_t plainSize_ = 0;
};

}  // namespace tolvek
