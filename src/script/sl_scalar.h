// The scalar script values: integers, floats, strings, booleans and names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/sl_object.h"

namespace tolvek {

// A number that converts to and from every scalar form.
class TSLNumber : public TSLObject {
public:
  const char* ClassName() const override { return "TSLNumber"; }
  virtual int64_t GetInt64() const = 0;
  virtual void SetInt64(int64_t value) = 0;
  virtual double GetDouble() const = 0;
  virtual void SetDouble(double value) = 0;
  virtual std::string GetString() const = 0;
  virtual void SetString(std::string_view text) = 0;
  virtual bool GetBoolean() const = 0;
  virtual void SetBoolean(bool value) = 0;
};

// A signed 64-bit integer.
class TSLLongint : public TSLNumber {
public:
  explicit TSLLongint(int64_t value = 0) : value_(value) {}
  const char* ClassName() const override { return "TSLLongint"; }

  int64_t GetInt64() const override { return value_; }
  void SetInt64(int64_t value) override { value_ = value; }
  double GetDouble() const override { return static_cast<double>(value_); }
  // Rounds to the nearest integer, ties to even (saturating at the 64-bit range).
  void SetDouble(double value) override;
  // Decimal text ("-12").
  std::string GetString() const override;
  // Decimal text, "$" for hexadecimal; fails "'%s' is not a valid integer value".
  void SetString(std::string_view text) override;
  bool GetBoolean() const override { return value_ != 0; }
  // True stores -1, false 0.
  void SetBoolean(bool value) override { value_ = value ? -1 : 0; }

  void Encode(TSLStreamEncoder& encoder) override;
  // Takes the value of another TSLLongint (else EInvalidCast).
  void AssignObject(TSLObject* source) override;
  TSLObject* CopyObject() override;
  // Equal to a TSLLongint or a TSLDouble (truncated toward zero) with the same integer.
  bool IsEqual(TSLObject* other) override;

private:
  int64_t value_;
};

// An IEEE 64-bit float.
class TSLDouble : public TSLNumber {
public:
  explicit TSLDouble(double value = 0.0) : value_(value) {}
  const char* ClassName() const override { return "TSLDouble"; }

  // Truncated toward zero (saturating; not a number gives 0).
  int64_t GetInt64() const override;
  void SetInt64(int64_t value) override { value_ = static_cast<double>(value); }
  double GetDouble() const override { return value_; }
  void SetDouble(double value) override { value_ = value; }
  // General format with at most 15 significant digits ("0.25", "1E20").
  std::string GetString() const override;
  // Float text with "."; fails "'%s' is not a valid floating point value".
  void SetString(std::string_view text) override;
  bool GetBoolean() const override { return value_ != 0.0; }
  void SetBoolean(bool value) override { value_ = value ? 1.0 : 0.0; }

  void Encode(TSLStreamEncoder& encoder) override;
  void AssignObject(TSLObject* source) override;
  TSLObject* CopyObject() override;
  // Equal to a TSLDouble or a TSLLongint with the same float value.
  bool IsEqual(TSLObject* other) override;

private:
  double value_;
};

// A byte string of any length and content.
class TSLString : public TSLObject {
public:
  TSLString() = default;
  explicit TSLString(std::string_view text) : text_(text) {}
  explicit TSLString(std::string&& text) : text_(std::move(text)) {}
  explicit TSLString(const char* text) : text_(text) {}
  const char* ClassName() const override { return "TSLString"; }

  const std::string& GetText() const noexcept { return text_; }
  void SetText(std::string_view text) { text_.assign(text.data(), text.size()); }

  void Encode(TSLStreamEncoder& encoder) override;
  void AssignObject(TSLObject* source) override;
  TSLObject* CopyObject() override;
  // Equal to a TSLString with byte-identical text.
  bool IsEqual(TSLObject* other) override;

private:
  std::string text_;
};

// True or false.
class TSLBoolean : public TSLObject {
public:
  explicit TSLBoolean(bool value = false) : value_(value) {}
  const char* ClassName() const override { return "TSLBoolean"; }

  bool GetValue() const noexcept { return value_; }
  void SetValue(bool value) noexcept { value_ = value; }

  void Encode(TSLStreamEncoder& encoder) override;
  void AssignObject(TSLObject* source) override;
  TSLObject* CopyObject() override;
  bool IsEqual(TSLObject* other) override;

private:
  bool value_;
};

// A name: executable names are looked up and run, literal ones ("/name") are data.
class TSLIdent : public TSLObject {
public:
  TSLIdent() = default;
  TSLIdent(std::string_view name, bool executable) : name_(name), executable_(executable) {}
  const char* ClassName() const override { return "TSLIdent"; }

  const std::string& GetName() const noexcept { return name_; }
  void SetName(std::string_view name) { name_.assign(name.data(), name.size()); }

  bool GetExecutable() const override { return executable_; }
  void SetExecutable(bool executable) override { executable_ = executable; }
  void Encode(TSLStreamEncoder& encoder) override;
  // Takes the name of another TSLIdent; the executable flag stays.
  void AssignObject(TSLObject* source) override;
  TSLObject* CopyObject() override;
  // Equal to a TSLIdent with a byte-identical name, whatever the flags.
  bool IsEqual(TSLObject* other) override;

private:
  std::string name_;
  bool executable_ = false;
};

}  // namespace tolvek
