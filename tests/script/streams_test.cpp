// Character streams: the string stream, the file stream with its buffered and replace-on-close
// writing, the enciphered file, format detection, and the lookahead stream.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "script/crypt_file.h"
#include "script/object_text.h"
#include "script/string_stream.h"
#include "script/sl_array.h"
#include "script/sl_scalar.h"
#include "script_test_support.h"

namespace tolvek {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class FileTest : public ScriptTest {
protected:
  void SetUp() override {
    ScriptTest::SetUp();
    dir_ = fs::temp_directory_path() /
           ("tolvek_streams_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    ScriptTest::TearDown();
  }
  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

using StringStream = ScriptTest;

TEST_F(StringStream, ModesPositionsAndMessages) {
  TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
  s->Rewrite();
  s->Write("abc");
  EXPECT_EQ(FailureOf([&] { s->ReadChar(); }), "TSLStringStream.Read: stream not in read mode");
  s->Seek(1);
  s->WriteChar('X');  // overwrites inside
  s->Seek(3);
  s->WriteChar('d');  // appends at the end
  EXPECT_EQ(s->GetText(), "aXcd");
  EXPECT_EQ(FailureOf([&] { s->Seek(5); }), "TSLStringStream.Seek: position not in stream range");
  EXPECT_EQ(FailureOf([&] { s->Seek(-1); }), "TSLStringStream.Seek: position not in stream range");
  s->Open(smRead);
  EXPECT_EQ(FailureOf([&] { s->WriteChar('x'); }), "TSLStringStream.Write: stream not in write mode");
  std::string read;
  while (!s->Eof()) read.push_back(static_cast<char>(s->ReadChar()));
  EXPECT_EQ(read, "aXcd");
  EXPECT_EQ(FailureOf([&] { s->ReadChar(); }), "TSLStringStream.Read: end of stream reached");
  s->Close();
  EXPECT_EQ(s->GetText(), "");
}

TEST_F(StringStream, LookaheadUnreadsOneByteAndCountsLines) {
  TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
  s->LoadText("a\r\nb\rc\nd");
  TSLLookaheadStream input(s.Get());
  std::string lines;
  while (!input.Eof()) {
    const uint8_t c = input.ReadChar();
    // Reading each byte twice must not count a line twice.
    input.UnreadChar();
    EXPECT_EQ(input.ReadChar(), c);
    lines += std::to_string(input.GetLine());
  }
  EXPECT_EQ(lines, "12223344");
  input.UnreadChar();
  EXPECT_FALSE(input.Eof());  // a byte is pending
  EXPECT_EQ(input.GetPosition(), 7);
  EXPECT_EQ(FailureOf([&] { input.UnreadChar(); }),
            "TSLLookaheadStream.UnreadChar: Only one character can be unread!");
  input.SetStream(s.Get());
  EXPECT_EQ(input.GetLine(), 1);
}

TEST_F(StringStream, StorageFormatNames) {
  EXPECT_EQ(StorageFormatFromName("ascii"), sfASCII);
  EXPECT_EQ(StorageFormatFromName("EAscii"), sfEASCII);
  EXPECT_EQ(StorageFormatFromName("UNKNOWN"), sfUnknown);
  EXPECT_EQ(FailureOf([] { StorageFormatFromName("BIN"); }), "unknown storage object format 'BIN'");
  TRef<TSLStringStream> s = MakeRef<TSLStringStream>();
  for (auto [text, format] : {std::pair{"%SLExyz", sfEASCII}, {"%SL", sfASCII}, {"", sfASCII},
                              {"[A ]", sfASCII}}) {
    s->LoadText(text);
    EXPECT_EQ(DetectStorageFormat(*s), format) << text;
    EXPECT_EQ(s->GetPosition(), 0);
  }
}

using CharFile = FileTest;

TEST_F(CharFile, ReadsSeeksAndReportsItsFailures) {
  const std::string path = PathOf("data.txt");
  std::string content;
  for (int i = 0; i < 3000; ++i) content.push_back(static_cast<char>('a' + i % 26));
  WriteAll(path, content);

  TRef<TSLCharFile> file = MakeRef<TSLCharFile>(path);
  EXPECT_EQ(FailureOf([&] { file->ReadChar(); }), "File not opened");
  file->Open(smRead);
  EXPECT_EQ(file->GetSize(), 3000);
  std::string read;
  while (!file->Eof()) read.push_back(static_cast<char>(file->ReadChar()));
  EXPECT_EQ(read, content);
  EXPECT_EQ(FailureOf([&] { file->ReadChar(); }), "Try to read past the end of the file");
  file->Seek(1030);
  EXPECT_EQ(file->ReadChar(), content[1030]);
  file->Seek(5);  // back into another buffer
  EXPECT_EQ(file->ReadChar(), content[5]);
  EXPECT_EQ(file->GetPosition(), 6);
  EXPECT_EQ(FailureOf([&] { file->Seek(3001); }), "Try to seek past the end of the file");
  EXPECT_EQ(FailureOf([&] { file->Seek(-1); }), "Try to seek to a position less than zero");
  file->Close();

  TRef<TSLCharFile> missing = MakeRef<TSLCharFile>(PathOf("missing.txt"));
  EXPECT_EQ(FailureOf([&] { missing->Open(smRead); }),
            "TSLCharFile error: File '" + PathOf("missing.txt") + "' couldn't be opened");
  TRef<TSLCryptFile> unnamed = MakeRef<TSLCryptFile>();
  EXPECT_EQ(FailureOf([&] { unnamed->Open(smRead); }),
            "TSLCryptFile error: File '' couldn't be opened");
  EXPECT_EQ(FailureOf([&] { unnamed->Rewrite(); }), "File couldn't be created");

  TRef<TSLCharFile> named = MakeRef<TSLCharFile>("/dir/sub/name.ext");
  EXPECT_EQ(named->GetFileNamePart(0), "/dir/sub/name.ext");
  EXPECT_EQ(named->GetFileNamePart(1), "name.ext");
  EXPECT_EQ(named->GetFileNamePart(2), "/dir/sub/");
  EXPECT_EQ(named->GetFileNamePart(3), ".ext");
}

TEST_F(CharFile, ReadWriteModeChangesTheFileInPlace) {
  const std::string path = PathOf("rw.txt");
  WriteAll(path, "hello");
  TRef<TSLCharFile> file = MakeRef<TSLCharFile>(path);
  file->Open(smReadWrite);
  EXPECT_EQ(file->ReadChar(), 'h');
  file->WriteChar('E');
  file->Seek(5);
  file->Write("!!");
  file->Seek(0);
  std::string read;
  while (!file->Eof()) read.push_back(static_cast<char>(file->ReadChar()));
  EXPECT_EQ(read, "hEllo!!");
  file->Close();
  EXPECT_EQ(ReadAll(path), "hEllo!!");
}

TEST_F(CharFile, RewriteReplacesTheFileOnlyWhenComplete) {
  const std::string path = PathOf("config.ini");
  WriteAll(path, "old contents");
  TRef<TSLCharFile> file = MakeRef<TSLCharFile>(path);
  file->Rewrite();
  file->Write("new ");
  file->WriteChar('x');
  EXPECT_EQ(ReadAll(path), "old contents");  // untouched while writing
  file->Close();
  EXPECT_EQ(ReadAll(path), "new x");
  EXPECT_EQ(EntryCount(), 1u);  // no temporary file left

  // Abandoned (or failed before Close): the old file stays.
  file->Rewrite();
  file->Write("half");
  file->Discard();
  EXPECT_EQ(ReadAll(path), "new x");
  EXPECT_EQ(EntryCount(), 1u);

  // A new file is created by Close.
  TRef<TSLCharFile> fresh = MakeRef<TSLCharFile>(PathOf("fresh.txt"));
  fresh->Rewrite();
  fresh->Write("1");
  EXPECT_FALSE(fs::exists(PathOf("fresh.txt")));
  fresh->Close();
  EXPECT_EQ(ReadAll(PathOf("fresh.txt")), "1");
}

TEST_F(CharFile, FailingWriteLeavesTheOldFileIntact) {
  const std::string path = PathOf("big.txt");
  const std::string old(1000, 'o');
  WriteAll(path, old);
  // Limit the file size this process may write, so that writing the new contents fails the
  // way a full disk does.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100000;
  ::setrlimit(RLIMIT_FSIZE, &small);

  TRef<TSLArray> big = MakeRef<TSLArray>();
  for (int i = 0; i < 20000; ++i) big->SetStrAtIndex(i, "some text");
  TSLObjectText codec;
  const std::string failure = FailureOf([&] { codec.EncodeFile(path, big.Get()); });

  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(failure, "Disk full while writing to file");
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(CharFile, EncipheredFilesRoundTrip) {
  const std::string path = PathOf("secret.stx");
  TSLObjectText codec;
  TRef<TSLObject> value = codec.StrToObj("[D /Name 'Quarvo drive' /Gains [A 1.5 2.5 ] ]");
  codec.EncodeFile(path, value.Get(), sfEASCII);
  const std::string first = ReadAll(path);
  EXPECT_EQ(first.substr(0, 4), "%SLE");
  EXPECT_EQ(first.find("Quarvo"), std::string::npos);
  codec.EncodeFile(path, value.Get(), sfEASCII);
  EXPECT_NE(ReadAll(path).substr(4, 4), first.substr(4, 4));  // random header bytes

  TSLStorageFormat format = sfUnknown;
  TRef<TSLObject> back = codec.DecodeFile(path, false, 0, &format);
  EXPECT_EQ(format, sfEASCII);
  EXPECT_TRUE(back->IsEqual(value.Get()));

  codec.EncodeFile(path, value.Get(), sfASCII);
  EXPECT_EQ(ReadAll(path), "[D /Gains [A 1.5 2.5 ] /Name 'Quarvo drive' ] ");
  back = codec.DecodeFile(path, false, 0, &format);
  EXPECT_EQ(format, sfASCII);
  EXPECT_TRUE(back->IsEqual(value.Get()));

  WriteAll(path, "%SLX1234[A ]");
  TRef<TSLCryptFile> bad = MakeRef<TSLCryptFile>(path);
  bad->Open(smRead);
  EXPECT_EQ(FailureOf([&] { bad->ReadCryptHeader(); }), "wrong crypt header in stream");
}

TEST_F(CharFile, CipherStaysInStepAfterAPartlyReadWindow) {
  // The decoder takes bytes from the deciphered window but stops after one value; byte-wise
  // reading must continue with the right key.
  const std::string path = PathOf("two.stx");
  std::string tail;
  for (int i = 0; i < 1500; ++i) tail.push_back(static_cast<char>('A' + i % 20));
  {
    TRef<TSLCryptFile> out = MakeRef<TSLCryptFile>(path);
    out->Rewrite();
    out->WriteCryptHeader();
    out->SetCipherActive(true);
    out->Write("[A 1 2 ] ");
    out->Write(tail);
    out->Close();
  }
  TRef<TSLCryptFile> in = MakeRef<TSLCryptFile>(path);
  in->Open(smRead);
  ASSERT_EQ(DetectStorageFormat(*in), sfEASCII);
  in->ReadCryptHeader();
  in->SetCipherActive(true);
  TSLStreamDecoder decoder;
  decoder.RegisterStandardSyntax();
  TSLLookaheadStream input(in.Get());
  TRef<TSLObject> value = decoder.DecodeObject(input, false);
  EXPECT_EQ(ObjToStr(value.Get()), "[A 1 2 ] ");
  EXPECT_EQ(in->ReadChar(), ' ');
  std::string rest;
  while (!in->Eof()) rest.push_back(static_cast<char>(in->ReadChar()));
  EXPECT_EQ(rest, tail);
}

TEST_F(CharFile, DecodingAFileNamesLinesAcrossBuffers) {
  const std::string path = PathOf("long.stx");
  std::string text = "[A\n";
  for (int i = 0; i < 500; ++i) text += "'line " + std::to_string(i) + "'\n";
  text += "#7 ]\n";
  WriteAll(path, text);
  TSLObjectText codec;
  EXPECT_EQ(FailureOf([&] { codec.DecodeFile(path); }),
            "[string, 502] Syntax error: invalid boolean '#7'");
}

}  // namespace
}  // namespace tolvek
