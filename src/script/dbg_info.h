// Source positions that the decoder attaches to values for messages and the debugger.
#pragma once

#include <cstdint>

namespace tolvek {

// Interface of a token's source position; every operation fails
// "%s.%s: method not implemented" unless a subclass provides it.
class TDbgInfo {
public:
  virtual ~TDbgInfo() = default;
  // The runtime class name used in messages.
  virtual const char* ClassName() const { return "TDbgInfo"; }

  // Character position of the token's first character in its source.
  virtual int32_t GetTokPos() const;
  virtual void SetTokPos(int32_t pos);
  // Length of the token in characters (2 for a composite opener).
  virtual int32_t GetTokLength() const;
  virtual void SetTokLength(int32_t length);
  // Line of the token, counted from 1.
  virtual int32_t GetTokLine() const;
  virtual void SetTokLine(int32_t line);
  // Whether a debugger breakpoint is set on the token.
  virtual bool GetBreakpoint() const;
  virtual void SetBreakpoint(bool breakpoint);
  // The source's number in the storage ID registry.
  virtual uint16_t GetStorageID() const;
  virtual void SetStorageID(uint16_t id);

protected:
  [[noreturn]] void NotImplemented(const char* operation) const;
};

// The position of one decoded token; owned by the value that carries it.
class TElmDbgInfo final : public TDbgInfo {
public:
  TElmDbgInfo() = default;
  TElmDbgInfo(int32_t pos, int32_t length, int32_t line, uint16_t storageID)
      : tokPos_(pos), tokLength_(length), tokLine_(line), storageID_(storageID) {}

  const char* ClassName() const override { return "TElmDbgInfo"; }
  int32_t GetTokPos() const override { return tokPos_; }
  void SetTokPos(int32_t pos) override { tokPos_ = pos; }
  int32_t GetTokLength() const override { return tokLength_; }
  void SetTokLength(int32_t length) override { tokLength_ = length; }
  int32_t GetTokLine() const override { return tokLine_; }
  void SetTokLine(int32_t line) override { tokLine_ = line; }
  bool GetBreakpoint() const override { return breakpoint_; }
  void SetBreakpoint(bool breakpoint) override { breakpoint_ = breakpoint; }
  uint16_t GetStorageID() const override { return storageID_; }
  void SetStorageID(uint16_t id) override { storageID_ = id; }

private:
  int32_t tokPos_ = 0;
  int32_t tokLength_ = 0;
  int32_t tokLine_ = 0;
  bool breakpoint_ = false;
  uint16_t storageID_ = 0;
};

}  // namespace tolvek
