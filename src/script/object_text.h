// Converting between values and their text in one call: from and to strings, and from and to
// files in either storage format.
#pragma once

#include <string>
#include <string_view>

#include "script/lookahead_stream.h"
#include "script/storage_format.h"
#include "script/stream_decoder.h"
#include "script/stream_encoder.h"
#include "script/string_stream.h"
#include "script/text_view_stream.h"

namespace tolvek {

// A decoder with the system's syntax, an encoder and a string stream, kept together so that
// repeated conversions reuse them. One caller at a time.
class TSLObjectText {
public:
  TSLObjectText();

  // The decoder, for registering a source-name lookup or more syntax.
  TSLStreamDecoder& Decoder() noexcept { return *decoder_; }
  TSLStreamEncoder& Encoder() noexcept { return *encoder_; }

  // The first root value of `text` (null when it holds only blanks and comments).
  TRef<TSLObject> StrToObj(std::string_view text, bool withDebugInfo = false);
  // The text of `value` as the encoder writes it (every token followed by one blank).
  std::string ObjToStr(TSLObject* value);

  // The first root value of a file, plain or enciphered (the format is detected); the stream
  // carries `storageID` for positions and messages. `format`, when given, receives the format.
  TRef<TSLObject> DecodeFile(const std::string& fileName, bool withDebugInfo = false,
                             uint16_t storageID = 0, TSLStorageFormat* format = nullptr);
  // Replaces a file with the text of `value`, plain or enciphered; the old file stays intact
  // unless the new one was written completely.
  void EncodeFile(const std::string& fileName, TSLObject* value, TSLStorageFormat format = sfASCII);

private:
  TRef<TSLStreamDecoder> decoder_;
  TRef<TSLStreamEncoder> encoder_;
  TRef<TSLTextViewStream> textStream_;
  TRef<TSLLookaheadStream> lookahead_;
};

// StrToObj through a fresh TSLObjectText.
TRef<TSLObject> StrToObj(std::string_view text, bool withDebugInfo = false);
// ObjToStr through a fresh encoder.
std::string ObjToStr(TSLObject* value);

}  // namespace tolvek
