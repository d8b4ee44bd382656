#include <gtest/gtest.h>

#include "platform/user_interface.h"
#include "script/archive.h"
#include "script/archive_storage.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"
#include "storage_fixture.h"

namespace tolvek {
namespace {

// Writes an archive "<relative>" holding the given entries (name, text) as plain ASCII.
void WriteArchive(TStorageManager& storage, const std::string& file,
                  std::initializer_list<std::pair<const char*, const char*>> entries) {
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  TRef<TSLArchive> archive = TArchiveManager::Instance().GetArchive(storage, file, saWrite, false);
  for (auto [name, text] : entries) archive->AddEntry(name, sfASCII, storage.StrToObj(text));
  archive->Write();
}

using StorageManagerTest = StorageFixture;

TEST_F(StorageManagerTest, NamesResolveByPrefixOrSearchOrder) {
  WriteFile("Archives/ZezovOreduro/CurveTypes.stx", "[A 'loose' ]");
  WriteArchive(*storage_, Root() + "Archives/ZezovOreduro.sla", {{"CurveTypes.stx", "[A 'packed' ]"}});
  WriteArchive(*storage_, Root() + "Archives.sla", {{"Sub\\x.stx", "42"}});

  auto text = [&](const std::string& name) { return storage_->ObjToStr(storage_->GetObject(name)->GetData()); };
  // Without prefix the file plug-in is asked first; "archive://" goes to the archive.
  EXPECT_EQ(text("Archives\\ZezovOreduro\\CurveTypes.stx"), "[A 'loose' ] ");
  EXPECT_EQ(text("archive://Archives\\ZezovOreduro\\CurveTypes.stx"), "[A 'packed' ] ");
  // Not in "Archives\Sub.sla" (absent): found one level up, as entry "Sub\x.stx" of Archives.sla.
  EXPECT_EQ(text("archive://Archives\\Sub\\x.stx"), "42 ");
  EXPECT_EQ(text("archive://archives/SUB/X.STX"), "42 ");
  // Found through the search directories ("Archives\" is one) as a loose file.
  EXPECT_EQ(text("ZezovOreduro\\CurveTypes.stx"), "[A 'loose' ] ");
  EXPECT_TRUE(storage_->ObjectExists("archive://Archives\\Sub\\x.stx"));
  EXPECT_FALSE(storage_->ObjectExists("archive://Archives\\Sub\\y.stx"));
}

TEST_F(StorageManagerTest, FailureMessages) {
  WriteArchive(*storage_, Root() + "Archives.sla", {{"a.stx", "1"}});
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { storage_->GetObject("missing.stx"); },
       "TStorageManager.GetObject: object with name 'missing.stx' not found"},
      {[&] { storage_->GetObject("file://missing.stx"); },
       "TFileStoragePlugin error: no object named missing.stx found"},
      {[&] { storage_->GetObject("archive://Archives\\b.stx"); }, "object 'Archives\\b.stx' not found"},
      {[&] { storage_->GetObject("clipboard://other"); },
       "TClipboardStoragePlugin error: no object named other found"},
      {[&] { storage_->GetObject("clipboard://cb.data"); },
       "TSLClipboardStorageObject.Read: clipboard is empty"},
      {[&] { storage_->CreateObject("clipboard://x"); },
       "TClipboardStoragePlugin.CreateObject: can not create object with name 'x'"},
      {[&] { storage_->CreateObject("file://no/such/dir/x.stx"); },
       "TFileStoragePlugin.CreateObject: Could not create object with name no/such/dir/x.stx"},
      {[&] { StrToStorageAccess("RX"); }, "illegal access attribute 'RX'"},
      {[&] { storage_->StrToObj("[A 1 "); },
       "[string, 1] Syntax error: illegal nesting (check number of opening and closing square "
       "brackets)"},
  };
  for (const auto& [action, message] : cases) EXPECT_EQ(FailureOf(action), message);
}

TEST_F(StorageManagerTest, FileObjectsHonourAccessAndFormat) {
  WriteFile("cfg.stx", "[D /a 1 ]");
  TSLStorageObject* readOnly = storage_->GetObject("cfg.stx", saRead);
  EXPECT_EQ(FailureOf([&] { readOnly->Save(); }),
            "TSLFileStorageObject.Write: storage object '" + Root() +
                "cfg.stx' was opened as read only");
  TSLStorageObject* created = storage_->CreateObject("file://cfg.stx");
  EXPECT_EQ(FailureOf([&] { created->Load(); }),
            "TSLFileStorageObject.Read: storage object '" + Root() +
                "cfg.stx' was opened as write only");

  // Saved enciphered, read back with the format detected; the loaded object saves plain again.
  created->SetData(storage_->StrToObj("[D /secret 'x' ]"));
  created->SetFormat(sfEASCII);
  created->Save();
  EXPECT_EQ(ReadFile("cfg.stx").substr(0, 4), "%SLE");
  EXPECT_EQ(ReadFile("cfg.stx").find("secret"), std::string::npos);
  TSLStorageObject* again = storage_->GetObject("cfg.stx", saReadWrite);
  EXPECT_EQ(storage_->ObjToStr(again->GetData()), "[D /secret 'x' ] ");
  again->Save();
  EXPECT_EQ(ReadFile("cfg.stx"), "[D /secret 'x' ] ");
}

TEST_F(StorageManagerTest, FailedFileSaveKeepsTheOldFile) {
  WriteFile("cfg.stx", "[D /good 1 ]");
  TSLStorageObject* object = storage_->GetObject("cfg.stx", saReadWrite);
  // The encoder fails part-way: a name with a blank cannot be written.
  TRef<TSLArray> bad = MakeRef<TSLArray>();
  bad->SetStrAtIndex(0, std::string(5000, 'x'));
  bad->SetObjAtIndex(1, MakeAuto<TSLIdent>("not a name", false));
  object->SetData(bad.Get());
  EXPECT_EQ(FailureOf([&] { object->Save(); }),
            "TSLStreamEncoder.CheckIdent: illegal ident 'not a name'");
  EXPECT_EQ(ReadFile("cfg.stx"), "[D /good 1 ]");
  size_t files = 0;
  for (auto& entry : std::filesystem::directory_iterator(root_)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u) << "no temporary file may be left behind";
}

TEST_F(StorageManagerTest, ArchiveEntriesDecodeOnFirstUse) {
  // Packed from files as they are, so the archive can hold a damaged text.
  WriteFile("src/Halvic.ini", "% settings\n[D /ViewInfo [D ] ]");
  WriteFile("src/Broken.stx", "[A 1\n  2 ");
  std::filesystem::create_directories(root_ / "Archives");
  {
    TRef<TSLArchive> archive = TArchiveManager::Instance().GetArchive(
        *storage_, Root() + "Archives/Config.sla", saWrite, false);
    archive->AddLink("Halvic.ini", sfASCII, Root() + "src/Halvic.ini");
    archive->AddLink("Broken.stx", sfEASCII, Root() + "src/Broken.stx");
    archive->Write();
  }
  TRefObjManager::Instance().ReleasePool();
  EXPECT_NE(ReadFile("Archives/Config.sla").find("% settings"), std::string::npos)
      << "linked files are copied unchanged";

  TRef<TSLArchive> archive =
      TArchiveManager::Instance().GetArchive(*storage_, Root() + "Archives/Config.sla", saRead, false);
  EXPECT_TRUE(archive->FindEntry("broken.stx")->IsPending());
  EXPECT_EQ(archive->FindEntry("Broken.stx")->GetFormat(), sfEASCII);
  // The damaged entry does not stop the others; it fails when asked for, naming itself.
  TSLStorageObject* ini = storage_->GetObject("archive://Archives\\Config\\Halvic.ini");
  EXPECT_EQ(storage_->ObjToStr(ini->GetData()), "[D /ViewInfo [D ] ] ");
  EXPECT_EQ(FailureOf([&] { storage_->GetObject("archive://Archives\\Config\\Broken.stx")->GetData(); }),
            "[Broken.stx, 2] Syntax error: illegal nesting (check number of opening and closing "
            "square brackets)");
  // The same archive file is open once, however many objects refer to it and however its
  // name is written.
  EXPECT_EQ(TArchiveManager::Instance().GetArchive(*storage_, "Archives/../Archives/config.sla",
                                                   saRead, false),
            archive.Get());
  EXPECT_EQ(TArchiveManager::Instance().Count(), 1u);
  archive = nullptr;
  TRefObjManager::Instance().ReleasePool();
  EXPECT_EQ(TArchiveManager::Instance().Count(), 0u) << "archives close with their last reference";
}

TEST_F(StorageManagerTest, SavingAnEntryRewritesTheArchiveThroughBackup) {
  WriteArchive(*storage_, Root() + "Archives/Config.sla",
               {{"Halvic.ini", "[D /a 1 ]"}, {"Other.stx", "'keep @'me'"}});
  TRefObjManager::Instance().ReleasePool();
  std::string before = ReadFile("Archives/Config.sla");

  TSLStorageObject* ini = storage_->GetObject("archive://Archives\\Config\\Halvic.ini", saReadWrite);
  ini->SetData(storage_->StrToObj("[D /a 2 ]"));
  ini->SetFormat(sfEASCII);
  ini->Save();
  EXPECT_EQ(ReadFile("Archives/Config.bak"), before);
  EXPECT_FALSE(Exists("Archives/Config.tmp"));
  TRefObjManager::Instance().ReleasePool();
  ASSERT_EQ(TArchiveManager::Instance().Count(), 0u);

  // Read back from the new file: both entries, the rewritten one enciphered.
  TRef<TSLArchive> archive =
      TArchiveManager::Instance().GetArchive(*storage_, Root() + "Archives/Config.sla", saRead, false);
  ASSERT_EQ(archive->GetCount(), 2);
  EXPECT_EQ(archive->EntryAt(0).GetName(), "Halvic.ini");
  EXPECT_EQ(archive->EntryAt(0).GetFormat(), sfEASCII);
  EXPECT_EQ(storage_->ObjToStr(archive->EntryAt(0).GetValue()), "[D /a 2 ] ");
  EXPECT_EQ(storage_->ObjToStr(archive->EntryAt(1).GetValue()), "'keep @'me' ");
}

TEST_F(StorageManagerTest, DamagedArchiveHeadersAreRefused) {
  WriteArchive(*storage_, Root() + "good.sla", {{"a.stx", "1"}});
  TRefObjManager::Instance().ReleasePool();
  std::string good = ReadFile("good.sla");
  std::string version9 = good;
  version9[8] = 9;
  std::string badMagic = good;
  badMagic[0] = 'X';
  std::string truncated = good.substr(0, good.size() - 1);
  std::string shortHeader = good + std::string(5, '\0');
  for (const std::string& bytes : {version9, badMagic, truncated, shortHeader}) {
    WriteFile("bad.sla", bytes);
    EXPECT_EQ(FailureOf([&] {
                TArchiveManager::Instance().GetArchive(*storage_, Root() + "bad.sla", saRead, false);
              }),
              "TSLArchiveEntry.ReadHeader: Invalid file header in archive");
    EXPECT_EQ(TArchiveManager::Instance().Count(), 0u);
  }
  EXPECT_EQ(FailureOf([&] { TArchiveManager::Instance().GetArchive(*storage_, "", saRead, false); }),
            "Tried to open archive with empty filename");
}

TEST_F(StorageManagerTest, CreatingNamesInArchives) {
  std::filesystem::create_directories(root_ / "Archives");
  // The deepest existing directory of the name holds the new archive.
  TSLStorageObject* created = storage_->CreateObject("archive://Archives\\Config\\New.ini");
  created->SetData(storage_->StrToObj("[D /x 1 ]"));
  created->Save();
  EXPECT_TRUE(Exists("Archives/Config.sla"));
  TRefObjManager::Instance().ReleasePool();
  EXPECT_EQ(storage_->ObjToStr(storage_->GetObject("archive://Archives\\Config\\New.ini")->GetData()),
            "[D /x 1 ] ");
  // A missing first directory: the archive goes into the current directory.
  TSLStorageObject* top = storage_->CreateObject("archive://Missing\\Deeper\\y.stx");
  top->SetData(storage_->StrToObj("7"));
  top->Save();
  EXPECT_TRUE(Exists("Missing.sla"));
  // A name without directory has no archive to go into.
  EXPECT_EQ(FailureOf([&] { storage_->CreateObject("archive://flat.stx"); }),
            "object 'flat.stx' can not be created");
}

TEST_F(StorageManagerTest, ClipboardHoldsTheWrittenValue) {
  THeadlessUserInterface ui;
  SetUserInterface(&ui);
  TSLStorageObject* object = storage_->CreateObject("clipboard://cb.data");
  EXPECT_EQ(FailureOf([&] { object->SetFormat(sfEASCII); }),
            "TSLClipboardStorageObject.SetFormat: format sfEASCII is currently not supported");
  object->SetData(storage_->StrToObj("[A 1 'two' ]"));
  object->Save();
  EXPECT_TRUE(storage_->ObjectExists("clipboard://cb.data"));
  EXPECT_EQ(storage_->ObjToStr(storage_->GetObject("clipboard://cb.data")->GetData()), "[A 1 'two' ] ");
  SetUserInterface(nullptr);
}

TEST(StorageIDManager, ReusesNamesAndDeletedSlots) {
  TStorageIDManager ids;
  EXPECT_EQ(ids.Register("/a/x.stx"), 1);
  EXPECT_EQ(ids.Register("/a/y.stx"), 2);
  EXPECT_EQ(ids.Register("/a/x.stx"), 1);
  ids.Unregister(1);
  EXPECT_EQ(ids.SourceName(1), "");
  EXPECT_EQ(ids.Register("/a/z.stx"), 1);
  uint16_t id = 0;
  EXPECT_TRUE(ids.FindID("/a/y.stx", id));
  EXPECT_EQ(id, 2);
  ids.Unregister(2);
  auto failure = [&](uint16_t which) {
    try {
      ids.GetIDInfo(which);
    } catch (const EError& e) {
      return e.Message();
    }
    return std::string();
  };
  EXPECT_EQ(failure(2), "TStorageIDManager.GetIDInfo: ID 2 was deleted");
  EXPECT_EQ(failure(3), "TStorageIDManager.GetIDInfo: ID 3 does not exist");
}

}  // namespace
}  // namespace tolvek
