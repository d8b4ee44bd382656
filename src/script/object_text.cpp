// One-call conversions between values and text.
#include "script/object_text.h"

#include "script/crypt_file.h"

namespace tolvek {

TSLObjectText::TSLObjectText()
    : decoder_(MakeRef<TSLStreamDecoder>()),
      encoder_(MakeRef<TSLStreamEncoder>()),
      textStream_(MakeRef<TSLTextViewStream>()),
      lookahead_(MakeRef<TSLLookaheadStream>()) {
  decoder_->RegisterStandardSyntax();
}

TRef<TSLObject> TSLObjectText::StrToObj(std::string_view text, bool withDebugInfo) {
  textStream_->SetText(text);
  lookahead_->SetStream(textStream_.Get());
  TRef<TSLObject> value;
  try {
    value = decoder_->DecodeObject(*lookahead_, withDebugInfo);
  } catch (...) {
    lookahead_->SetStream(nullptr);
    textStream_->Close();
    throw;
  }
  lookahead_->SetStream(nullptr);
  textStream_->Close();
  return value;
}

std::string TSLObjectText::ObjToStr(TSLObject* value) { return encoder_->EncodeToString(value); }

TRef<TSLObject> TSLObjectText::DecodeFile(const std::string& fileName, bool withDebugInfo,
                                          uint16_t storageID, TSLStorageFormat* format) {
  TRef<TSLCryptFile> file = MakeRef<TSLCryptFile>(fileName);
  file->Open(smRead);
  file->SetStorageID(storageID);
  const TSLStorageFormat detected = DetectStorageFormat(*file);
  if (format) *format = detected;
  if (detected == sfEASCII) {
    file->ReadCryptHeader();
    file->SetCipherActive(true);
  }
  TRef<TSLLookaheadStream> input = MakeRef<TSLLookaheadStream>(file.Get());
  TRef<TSLObject> value = decoder_->DecodeObject(*input, withDebugInfo);
  input->SetStream(nullptr);
  file->Close();
  return value;
}

void TSLObjectText::EncodeFile(const std::string& fileName, TSLObject* value,
                               TSLStorageFormat format) {
  TRef<TSLCryptFile> file = MakeRef<TSLCryptFile>(fileName);
  file->Rewrite();
  try {
    if (format == sfEASCII) {
      file->WriteCryptHeader();
      file->SetCipherActive(true);
    }
    encoder_->EncodeObject(*file, value);
    file->Close();
  } catch (...) {
    file->Discard();
    throw;
  }
}

TRef<TSLObject> StrToObj(std::string_view text, bool withDebugInfo) {
  TSLObjectText codec;
  return codec.StrToObj(text, withDebugInfo);
}

std::string ObjToStr(TSLObject* value) {
  TSLStreamEncoder encoder;
  return encoder.EncodeToString(value);
}

}  // namespace tolvek
