// Built-in operations that reach outside the script: files and directories, date and time,
// object storage, message boxes and the beep.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fnmatch.h>

#include "platform/file_paths.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"
#include "script/interp/internal_procedure.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace fs = std::filesystem;

namespace {

// File attribute bits as scripts know them.
constexpr int64_t kAttrReadOnly = 0x01;
constexpr int64_t kAttrHidden = 0x02;
constexpr int64_t kAttrDirectory = 0x10;
constexpr int64_t kAttrArchive = 0x20;

// The path operand as a path of this file system.
std::string PathOperand(TSLContext& context, int32_t depth) {
  return NativePath(StrOperand(context, depth));
}

// Replaces one path operand by a boolean made from it.
template <class F>
void PathPredicate(TSLContext& context, F predicate) {
  const std::string path = PathOperand(context, 0);
  std::error_code error;
  const bool result = predicate(path, error) && !error;
  context.Operands().Drop();
  PushBool(context, result);
}

TOLVEK_SL_OPERATOR(Fileexist) {
  PathPredicate(context, [](const std::string& path, std::error_code& error) {
    return fs::is_regular_file(path, error);
  });
}

TOLVEK_SL_OPERATOR(Directoryexists) {
  PathPredicate(context, [](const std::string& path, std::error_code& error) {
    return fs::is_directory(path, error);
  });
}

TOLVEK_SL_OPERATOR(Createdir) {
  PathPredicate(context, [](const std::string& path, std::error_code& error) {
    return fs::create_directory(path, error);
  });
}

TOLVEK_SL_OPERATOR(Forcedirectories) {
  PathPredicate(context, [](const std::string& path, std::error_code& error) {
    fs::create_directories(path, error);
    return fs::is_directory(path, error);
  });
}

TOLVEK_SL_OPERATOR(Removedir) {
  PathPredicate(context, [](const std::string& path, std::error_code& error) {
    return fs::is_directory(path, error) && fs::remove(path, error);
  });
}

TOLVEK_SL_OPERATOR(Deletefile) {
  PathPredicate(context, [](const std::string& path, std::error_code& error) {
    return !fs::is_directory(path, error) && fs::remove(path, error);
  });
}

TOLVEK_SL_OPERATOR(Renamefile) {
  const std::string to = SlashPath(StrOperand(context, 0));
  const std::string from = PathOperand(context, 1);
  std::error_code error;
  // An existing target is not replaced.
  const bool renamed = !fs::exists(to, error) && (fs::rename(from, to, error), !error);
  PopOperands(context, 2);
  PushBool(context, renamed);
}

int64_t AttributesOf(const std::string& path, const struct stat& info) {
  int64_t attributes = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  if (access(path.c_str(), W_OK) != 0) attributes |= kAttrReadOnly;
  const std::string_view name = FileNamePart(path);
  if (!name.empty() && name[0] == '.') attributes |= kAttrHidden;
  return attributes;
}

TOLVEK_SL_OPERATOR(Filegetattr) {
  const std::string path = PathOperand(context, 0);
  struct stat info {};
  const int64_t attributes = stat(path.c_str(), &info) == 0 ? AttributesOf(path, info) : -1;
  context.Operands().Drop();
  PushInt(context, attributes);
}

TOLVEK_SL_OPERATOR(Filesearch) {
  const std::string dirs = StrOperand(context, 0);
  const std::string name = StrOperand(context, 1);
  std::string found;
  size_t start = 0;
  while (found.empty() && start <= dirs.size()) {
    size_t end = dirs.find(';', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty()) {
      if (dir.back() != '/' && dir.back() != '\\') dir.push_back('/');
      if (FileExists(dir + name)) found = NativePath(dir + name);
    }
    start = end + 1;
  }
  PopOperands(context, 2);
  PushStr(context, std::move(found));
}

// The packed file date-time: seconds/2, minutes, hours, day, month, year-1980 in 32 bits.
int64_t PackedTime(time_t when) {
  struct tm local {};
  localtime_r(&when, &local);
  const int year = local.tm_year + 1900 < 1980 ? 0 : local.tm_year + 1900 - 1980;
  return (static_cast<int64_t>(year) << 25) | ((local.tm_mon + 1) << 21) | (local.tm_mday << 16) |
         (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
}

TOLVEK_SL_OPERATOR(Getdircontents) {
  const int64_t wanted = IntOperand(context, 0);
  const std::string mask = SlashPath(StrOperand(context, 1));
  const std::string dir(DirectoryPart(mask));
  const std::string pattern(FileNamePart(mask));
  TRef<TSLArray> result = MakeRef<TSLArray>();
  std::error_code error;
  const std::string listed = dir.empty() ? "." : NativePath(dir);
  for (fs::directory_iterator it(listed, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
    const std::string path = it->path().string();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) continue;
    const int64_t attributes = AttributesOf(path, info);
    // Plain files always; directories and hidden entries only when asked for.
    if ((attributes & kAttrDirectory) && !(wanted & kAttrDirectory)) continue;
    if ((attributes & kAttrHidden) && !(wanted & kAttrHidden)) continue;
    TRef<TSLDictionary> entry = MakeRef<TSLDictionary>();
    entry->SetInt64WithName("Attr", attributes);
    entry->SetStrWithName("Name", name);
    entry->SetInt64WithName("Size", S_ISDIR(info.st_mode) ? 0 : static_cast<int64_t>(info.st_size));
    entry->SetInt64WithName("Time", PackedTime(info.st_mtime));
    result->Append(entry.Get());
  }
  PopOperands(context, 2);
  context.Operands().PushValue(result.Get());
}

// The current directory without its trailing separator.
std::string CurrentDirectory() {
  std::string dir = CurrentDir();
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

TOLVEK_SL_OPERATOR(Getcurrentdir) { PushStr(context, CurrentDirectory()); }

TOLVEK_SL_OPERATOR(Setcurrentdir) {
  const bool changed = chdir(PathOperand(context, 0).c_str()) == 0;
  context.Operands().Drop();
  PushBool(context, changed);
}

TOLVEK_SL_OPERATOR(Chdir) {
  const std::string path = PathOperand(context, 0);
  if (chdir(path.c_str()) != 0) throw EError(StrFormat("I/O error %d", errno));
  context.Operands().Drop();
}

TOLVEK_SL_OPERATOR(Getdir) {
  // One file-system tree: every drive number answers the current directory.
  IntOperand(context, 0);
  context.Operands().Drop();
  PushStr(context, CurrentDirectory());
}

TOLVEK_SL_OPERATOR(Chfileext) {
  const std::string extension = StrOperand(context, 0);
  std::string name = ChangeExtension(StrOperand(context, 1), extension);
  PopOperands(context, 2);
  PushStr(context, std::move(name));
}

template <std::string_view (*Part)(std::string_view)>
void FilePart(TSLContext& context) {
  std::string part(Part(StrOperand(context, 0)));
  context.Operands().Drop();
  PushStr(context, std::move(part));
}

TOLVEK_SL_OPERATOR(Extfileext) { FilePart<ExtensionPart>(context); }
TOLVEK_SL_OPERATOR(Extfilename) { FilePart<FileNamePart>(context); }
TOLVEK_SL_OPERATOR(Extfilepath) { FilePart<DirectoryPart>(context); }

// ---- Date and time ----------------------------------------------------------------------------

struct TNow {
  struct tm Local;
  int Milliseconds;
};

TNow Now() {
  const auto now = std::chrono::system_clock::now();
  const time_t seconds = std::chrono::system_clock::to_time_t(now);
  TNow result{};
  localtime_r(&seconds, &result.Local);
  result.Milliseconds = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return result;
}

constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",
                                       "May",     "June",     "July",      "August",
                                       "September", "October", "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

std::string Padded(int value, int width) {
  std::string text = FormatInt(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text;
}

// Formats `now` with a date-time pattern: y yy yyyy, m mm mmm mmmm, d dd ddd dddd, h hh,
// n nn, s ss, z zzz, am/pm, "/" and ":" as separators, quoted text as it is; "c" is the short
// date and the long time. An "m" right after an hour means minutes.
std::string FormatDateTime(std::string_view pattern, const TNow& now) {
  const struct tm& t = now.Local;
  std::string out;
  bool afterHour = false;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < pattern.size() && (pattern[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char lower = static_cast<char>(c | 0x20);
    if (c == '"' || c == '\'') {
      const size_t end = pattern.find(c, i + 1);
      const size_t stop = end == std::string_view::npos ? pattern.size() : end;
      out.append(pattern.substr(i + 1, stop - i - 1));
      i = stop + 1;
      continue;
    }
    if (pattern.substr(i, 5) == "am/pm" || pattern.substr(i, 5) == "AM/PM") {
      out.append(t.tm_hour < 12 ? "am" : "pm");
      if (c == 'A') out.back() = 'M', out[out.size() - 2] = t.tm_hour < 12 ? 'A' : 'P';
      i += 5;
      continue;
    }
    const size_t n = (lower >= 'a' && lower <= 'z') ? run(lower) : 1;
    switch (lower) {
      case 'y':
        out.append(n <= 2 ? Padded(t.tm_year % 100, 2) : Padded(t.tm_year + 1900, 4));
        break;
      case 'm':
        if (afterHour && n <= 2)
          out.append(n == 1 ? FormatInt(t.tm_min) : Padded(t.tm_min, 2));
        else if (n <= 2)
          out.append(n == 1 ? FormatInt(t.tm_mon + 1) : Padded(t.tm_mon + 1, 2));
        else
          out.append(n == 3 ? std::string(kMonthNames[t.tm_mon], 3) : kMonthNames[t.tm_mon]);
        break;
      case 'd':
        if (n <= 2)
          out.append(n == 1 ? FormatInt(t.tm_mday) : Padded(t.tm_mday, 2));
        else
          out.append(n == 3 ? std::string(kDayNames[t.tm_wday], 3) : kDayNames[t.tm_wday]);
        break;
      case 'h': out.append(n == 1 ? FormatInt(t.tm_hour) : Padded(t.tm_hour, 2)); break;
      case 'n': out.append(n == 1 ? FormatInt(t.tm_min) : Padded(t.tm_min, 2)); break;
      case 's': out.append(n == 1 ? FormatInt(t.tm_sec) : Padded(t.tm_sec, 2)); break;
      case 'z': out.append(n == 1 ? FormatInt(now.Milliseconds) : Padded(now.Milliseconds, 3)); break;
      case 'c':
        out.append(FormatDateTime("yyyy-mm-dd hh:nn:ss", now));
        break;
      case '/': out.push_back('-'); break;
      default: out.append(pattern.substr(i, n)); break;
    }
    if (lower != ' ' && lower != ':' && lower != 'm') afterHour = lower == 'h';
    i += n;
  }
  return out;
}

TOLVEK_SL_OPERATOR(Date) { PushStr(context, FormatDateTime("yyyy-mm-dd", Now())); }
TOLVEK_SL_OPERATOR(Time) { PushStr(context, FormatDateTime("hh:nn:ss", Now())); }

TOLVEK_SL_OPERATOR(Datetime) {
  std::string text = FormatDateTime(StrOperand(context, 0), Now());
  context.Operands().Drop();
  PushStr(context, std::move(text));
}

// ---- Objects and storage ----------------------------------------------------------------------

TStorageManager& StorageOf(TSLContext& context) {
  TStorageManager* storage = context.GetStorageManager();
  if (!storage) throw EError("no storage manager serves this script");
  return *storage;
}

TOLVEK_SL_OPERATOR(Loadobj) {
  const std::string name = StrOperand(context, 0);
  TSLStorageObject* object = StorageOf(context).GetObject(name, saRead, context.GetDebug());
  TRef<TSLObject> value(object->GetData());
  context.Operands().Drop();
  context.Operands().PushValue(value.Get());
}

TOLVEK_SL_OPERATOR(Loadstoobj) {
  const TStorageAccess access = StrToStorageAccess(StrOperand(context, 0));
  const std::string name = StrOperand(context, 1);
  TRef<TSLStorageObject> object(StorageOf(context).GetObject(name, access, context.GetDebug()));
  PopOperands(context, 2);
  context.Operands().PushValue(object.Get());
}

TOLVEK_SL_OPERATOR(Saveobj) {
  TSLObject* value = AnyOperand(context, 0);
  const std::string name = StrOperand(context, 1);
  TRef<TSLStorageObject> object(StorageOf(context).CreateObject(name));
  object->SetData(value);
  object->Save();
  PopOperands(context, 2);
}

// ---- Interaction ------------------------------------------------------------------------------

struct TButtonLetter {
  char Letter;
  TMsgDlgButton Button;
};
constexpr TButtonLetter kButtonLetters[] = {
    {'Y', mbYes}, {'N', mbNo},    {'O', mbOK},    {'C', mbCancel},
    {'A', mbAbort}, {'R', mbRetry}, {'I', mbIgnore},
};

TOLVEK_SL_OPERATOR(Msgdlg) {
  const std::string buttonText = StrOperand(context, 0);
  const std::string typeText = StrOperand(context, 1);
  const std::string text = StrOperand(context, 2);
  PopOperands(context, 3);
  TMsgDlgType type;
  switch (typeText.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<uint8_t>(typeText[0])))) {
    case 'W': type = TMsgDlgType::mtWarning; break;
    case 'E': type = TMsgDlgType::mtError; break;
    case 'I': type = TMsgDlgType::mtInformation; break;
    case 'C': type = TMsgDlgType::mtConfirmation; break;
    default: ScriptError(context, "illegal dialog type char"); return;
  }
  unsigned buttons = 0;
  for (char c : buttonText) {
    const char upper = static_cast<char>(std::toupper(static_cast<uint8_t>(c)));
    bool known = false;
    for (const TButtonLetter& entry : kButtonLetters)
      if (entry.Letter == upper) {
        buttons |= entry.Button;
        known = true;
      }
    if (!known) {
      ScriptError(context, "illegal button char");
      return;
    }
  }
  // The default answer: OK, else Yes, else Retry, else the first button offered.
  TMsgDlgButton defaultButton = mbOK;
  if (!(buttons & mbOK)) {
    if (buttons & mbYes)
      defaultButton = mbYes;
    else if (buttons & mbRetry)
      defaultButton = mbRetry;
    else
      for (const TButtonLetter& entry : kButtonLetters)
        if (buttons & entry.Button) {
          defaultButton = entry.Button;
          break;
        }
  }
  const TMsgDlgButton pressed = UserInterface().MessageBox(text, type, buttons, defaultButton);
  for (const TButtonLetter& entry : kButtonLetters)
    if (entry.Button == pressed) {
      PushStr(context, std::string(1, entry.Letter));
      return;
    }
  ScriptError(context, "illegal msgdlg result");
}

TOLVEK_SL_OPERATOR(Beep) { UserInterface().Beep(); }

const TSLOperatorEntry kFileOperators[] = {
    TOLVEK_SL_ENTRY("fileexist", Fileexist),
    TOLVEK_SL_ENTRY("directoryexists", Directoryexists),
    TOLVEK_SL_ENTRY("createdir", Createdir),
    TOLVEK_SL_ENTRY("forcedirectories", Forcedirectories),
    TOLVEK_SL_ENTRY("removedir", Removedir),
    TOLVEK_SL_ENTRY("deletefile", Deletefile),
    TOLVEK_SL_ENTRY("renamefile", Renamefile),
    TOLVEK_SL_ENTRY("filegetattr", Filegetattr),
    TOLVEK_SL_ENTRY("filesearch", Filesearch),
    TOLVEK_SL_ENTRY("getdircontents", Getdircontents),
    TOLVEK_SL_ENTRY("getcurrentdir", Getcurrentdir),
    TOLVEK_SL_ENTRY("setcurrentdir", Setcurrentdir),
    TOLVEK_SL_ENTRY("chdir", Chdir),
    TOLVEK_SL_ENTRY("getdir", Getdir),
    TOLVEK_SL_ENTRY("chfileext", Chfileext),
    TOLVEK_SL_ENTRY("extfileext", Extfileext),
    TOLVEK_SL_ENTRY("extfilename", Extfilename),
    TOLVEK_SL_ENTRY("extfilepath", Extfilepath),
};

const TSLOperatorEntry kDateTimeOperators[] = {
    TOLVEK_SL_ENTRY("date", Date),
    TOLVEK_SL_ENTRY("time", Time),
    TOLVEK_SL_ENTRY("datetime", Datetime),
};

const TSLOperatorEntry kStorageOperators[] = {
    TOLVEK_SL_ENTRY("loadobj", Loadobj),
    TOLVEK_SL_ENTRY("loadstoobj", Loadstoobj),
    TOLVEK_SL_ENTRY("saveobj", Saveobj),
};

const TSLOperatorEntry kInteractionOperators[] = {
    TOLVEK_SL_ENTRY("msgdlg", Msgdlg),
    TOLVEK_SL_ENTRY("beep", Beep),
};

}  // namespace

std::span<const TSLOperatorEntry> FileOperators() { return kFileOperators; }
std::span<const TSLOperatorEntry> DateTimeOperators() { return kDateTimeOperators; }
std::span<const TSLOperatorEntry> StorageOperators() { return kStorageOperators; }
std::span<const TSLOperatorEntry> InteractionOperators() { return kInteractionOperators; }

}  // namespace tolvek
