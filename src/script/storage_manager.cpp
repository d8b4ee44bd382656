#include "script/storage_manager.h"

#include "platform/error.h"
#include "platform/file_paths.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

TStorageManager* current = nullptr;

}  // namespace

TStorageManager::TStorageManager()
    : searchDirectories_(MakeRef<TSLArray>()), previous_(current) {
  text_.Decoder().SetSourceNameLookup(&ids_);
  AddSearchDirectory(InstallDir());
  current = this;
}

TStorageManager::~TStorageManager() {
  if (current == this) current = previous_;
}

TStorageManager* TStorageManager::Current() noexcept { return current; }

TStoragePluginInterface* TStorageManager::PluginForPrefix(const std::string& name,
                                                          std::string& rest) const {
  for (const auto& plugin : plugins_) {
    std::string prefix = plugin->GetPrefix();
    if (name.size() >= prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
      rest = name.substr(prefix.size());
      return plugin.get();
    }
  }
  return nullptr;
}

TSLStorageObject* TStorageManager::GetObject(const std::string& name) {
  return GetObject(name, saRead, debug_);
}

TSLStorageObject* TStorageManager::GetObject(const std::string& name, TStorageAccess access) {
  return GetObject(name, access, debug_);
}

TSLStorageObject* TStorageManager::GetObject(const std::string& name, TStorageAccess access,
                                             bool debug) {
  std::string rest;
  if (TStoragePluginInterface* plugin = PluginForPrefix(name, rest))
    return plugin->GetObject(rest, access, debug);
  for (TStoragePluginInterface* plugin : searchPlugins_)
    if (plugin->Exists(name)) return plugin->GetObject(name, access, debug);
  throw EError(StrFormat("%s.GetObject: object with name '%s' not found", ClassName(), name));
}

TSLStorageObject* TStorageManager::CreateObject(const std::string& name) {
  std::string rest;
  if (TStoragePluginInterface* plugin = PluginForPrefix(name, rest))
    return plugin->CreateObject(rest);
  for (TStoragePluginInterface* plugin : searchPlugins_)
    if (plugin->CanCreate(name)) return plugin->CreateObject(name);
  throw EError(StrFormat("%s.CreateObject: could not create object '%s'", ClassName(), name));
}

bool TStorageManager::ObjectExists(const std::string& name) {
  std::string rest;
  if (TStoragePluginInterface* plugin = PluginForPrefix(name, rest)) return plugin->Exists(rest);
  for (TStoragePluginInterface* plugin : searchPlugins_)
    if (plugin->Exists(name)) return true;
  return false;
}

std::string TStorageManager::FindFile(const std::string& name) const {
  if (name.empty()) return {};
  if (IsAbsoluteName(name)) return FileExists(name) ? NativePath(name) : std::string();
  std::string candidate = CurrentDir() + name;
  if (FileExists(candidate)) return NativePath(candidate);
  for (int32_t i = 0; i < searchDirectories_->GetCount(); ++i) {
    candidate = searchDirectories_->GetStrAtIndex(i) + name;
    if (FileExists(candidate)) return NativePath(candidate);
  }
  return {};
}

void TStorageManager::AddSearchDirectory(const std::string& dir) {
  std::string withSeparator = dir;
  if (withSeparator.empty() || (withSeparator.back() != '/' && withSeparator.back() != '\\'))
    withSeparator += '/';
  searchDirectories_->SetStrAtIndex(searchDirectories_->GetCount(), withSeparator);
}

void TStorageManager::AddPlugin(std::unique_ptr<TStoragePluginInterface> plugin, bool searched) {
  if (searched) searchPlugins_.push_back(plugin.get());
  plugins_.push_back(std::move(plugin));
}

TSLObject* TStorageManager::StrToObj(const std::string& text) {
  return text_.StrToObj(text, debug_).AutoRelease();
}

std::string TStorageManager::ObjToStr(TSLObject* value) { return text_.ObjToStr(value); }

TRef<TSLObject> TStorageManager::DecodeFrom(TSLCharStream& stream, bool debug) {
  TRef<TSLLookaheadStream> input = MakeRef<TSLLookaheadStream>(&stream);
  TRef<TSLObject> value = text_.Decoder().DecodeObject(*input, debug);
  input->SetStream(nullptr);
  return value;
}

}  // namespace tolvek
