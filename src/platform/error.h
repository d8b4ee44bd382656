// The exception every failure of the system is raised with, and the platform's own
// conversion and type-cast failures.
#pragma once

#include <exception>
#include <string>

namespace tolvek {

// Base of all failures: carries the English message that windows show and scripts catch.
class EError : public std::exception {
public:
  explicit EError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  // The class name scripts see when they ask what kind of failure they caught.
  virtual const char* ClassName() const noexcept { return "EError"; }

private:
  std::string message_;
};

// Raised when a value is not of the class an operation requires.
class EInvalidCast : public EError {
public:
  EInvalidCast() : EError("Invalid class typecast") {}
  const char* ClassName() const noexcept override { return "EInvalidCast"; }
};

// Raised when a text does not convert to a number.
class EConvertError : public EError {
public:
  using EError::EError;
  const char* ClassName() const noexcept override { return "EConvertError"; }
};

}  // namespace tolvek
