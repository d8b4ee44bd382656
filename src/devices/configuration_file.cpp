// Building, writing and reading configuration files, and the tree compatibility rule.
#include "devices/configuration_file.h"

#include <optional>
#include <string_view>

#include "platform/error.h"
#include "platform/text_format.h"
#include "script/sl_array.h"
#include "script/sl_scalar.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace {

TStorageManager& Storage() {
  TStorageManager* storage = TStorageManager::Current();
  if (!storage) throw EError("no storage manager");
  return *storage;
}

// The parts of a name split at "_" (at most four are needed).
std::vector<std::string_view> SplitName(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t end = name.find('_', start);
    parts.push_back(name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos || parts.size() == 3) break;
    start = end + 1;
  }
  return parts;
}

// A decimal number of at most nine digits (so it never overflows).
std::optional<int> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// "V<version>S<subversion>".
bool ParseVersion(std::string_view part, int& version, int& subversion) {
  if (part.size() < 4 || part[0] != 'V') return false;
  const size_t s = part.find('S', 1);
  if (s == std::string_view::npos) return false;
  auto v = Decimal(part.substr(1, s - 1));
  auto sv = Decimal(part.substr(s + 1));
  if (!v || !sv) return false;
  version = *v;
  subversion = *sv;
  return true;
}

}  // namespace

TRef<TSLDictionary> MakeConfiguration(const std::vector<std::unique_ptr<TDataItem>>& items) {
  auto configuration = MakeRef<TSLDictionary>();
  auto* info = NewObj<TSLDictionary>();
  configuration->SetObjWithName("Info", info);
  info->SetStrWithName("Type", kConfigurationType);
  info->SetInt64WithName("Version", kConfigurationVersion);
  auto* array = NewObj<TSLArray>();
  configuration->SetObjWithName("Items", array);
  for (const auto& item : items) array->SetObjAtIndex(array->GetCount(), &item->Data());
  return configuration;
}

void WriteConfiguration(const std::string& fileName, TSLDictionary* configuration) {
  // A plain name is a file the user chose: without the prefix a missing directory would make
  // the archive plug-in write an archive in its place.
  const bool prefixed = fileName.find("://") != std::string::npos;
  TSLStorageObject* object = Storage().CreateObject(prefixed ? fileName : "file://" + fileName);
  object->SetData(configuration);
  object->Save();
}

std::vector<TRef<TSLDictionary>> ConfigurationItems(TSLObject* root) {
  auto* configuration = CastObj<TSLDictionary>(root);
  CastObj<TSLDictionary>(configuration->GetObjWithName("Info"));
  auto* array = CastObj<TSLArray>(configuration->GetObjWithName("Items"));
  std::vector<TRef<TSLDictionary>> items;
  for (int32_t i = 0; i < array->GetCount(); ++i) {
    auto* item = CastObj<TSLDictionary>(array->GetObjAtIndex(i));
    if (ItemType(*item) == kParametersType) ParameterTreeName(*item);
    items.emplace_back(item);
  }
  return items;
}

std::vector<TRef<TSLDictionary>> ReadConfiguration(const std::string& fileName) {
  return ConfigurationItems(Storage().GetObject(fileName)->GetData());
}

std::string ItemType(TSLDictionary& item) {
  return CastObj<TSLDictionary>(item.GetObjWithName("Info"))->GetStrWithName("Type");
}

std::string ParameterTreeName(TSLDictionary& item) {
  return CastObj<TSLDictionary>(item.GetObjWithName("ParameterTreeData"))->GetStrWithName("TreeName");
}

bool TreesCompatible(const std::string& configurationTree, const std::string& moduleName, bool ignoreSubversion) {
  if (configurationTree == moduleName) return true;
  if (configurationTree.find('_') == std::string::npos || moduleName.find('_') == std::string::npos) return false;
  const auto c = SplitName(configurationTree);
  const auto m = SplitName(moduleName);
  if (c[0] != m[0] || c.size() < 3 || m.size() < 3) return false;
  int cVersion, cSubversion, mVersion, mSubversion;
  if (!ParseVersion(c[2], cVersion, cSubversion) || !ParseVersion(m[2], mVersion, mSubversion)) return false;
  return cVersion == mVersion && (ignoreSubversion || mSubversion >= cSubversion);
}

std::string IncompatibleTreesMessage(const std::vector<std::string>& moduleNames,
                                     const std::vector<std::string>& configurationTrees) {
  std::string text =
      "The parameter trees in the configuration files are not compatible with the parameter trees into the "
      "controller!\rThis configuration cannot be imported!\r\r";
  text += "Controller trees: ";
  text += "\r\r";
  for (const std::string& name : moduleNames) text += name + "\r";
  text += "\r";
  text += "Configuration trees: ";
  text += "\r\r";
  for (const std::string& name : configurationTrees) text += name + "\r";
  return text;
}

}  // namespace tolvek
