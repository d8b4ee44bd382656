// "clipboard://": the one object "cb.data", exchanged with other programs (and other Tolvek
// instances) in the private clipboard format "ZuvivavOvo ESD".
#pragma once

#include <string>

#include "script/storage_object.h"

namespace tolvek {

class TStorageManager;

// The clipboard's value. Reading gives back the value that was written.
class TSLClipboardStorageObject : public TSLStorageObject {
public:
  static constexpr const char* kFormatName = "ZuvivavOvo ESD";

  explicit TSLClipboardStorageObject(TStorageManager& manager) : manager_(manager) {}
  const char* ClassName() const override { return "TSLClipboardStorageObject"; }

  std::string GetName() override { return "cb.data"; }
  TSLStorageFormat GetFormat() override { return sfASCII; }
  // Only ASCII; fails "%s.SetFormat: format sfEASCII is currently not supported".
  void SetFormat(TSLStorageFormat format) override;
  TSLObject* GetData() override { return value_.Get(); }
  void SetData(TSLObject* value) override { value_ = value; }
  // Fails "%s.Read: clipboard is empty" when the clipboard holds no text of the format.
  void Load() override;
  // Replaces the clipboard's contents with the value's text.
  void Save() override;

private:
  TStorageManager& manager_;
  TRef<TSLObject> value_;
};

class TClipboardStoragePlugin : public TStoragePluginInterface {
public:
  explicit TClipboardStoragePlugin(TStorageManager& manager) : manager_(manager) {}
  const char* ClassName() const { return "TClipboardStoragePlugin"; }

  // Whether `name` is "cb.data" and the clipboard holds the format.
  bool Exists(const std::string& name) override;
  using TStoragePluginInterface::GetObject;
  // Loads at once; other names fail "%s error: no object named %s found".
  TSLStorageObject* GetObject(const std::string& name, TStorageAccess access, bool debug) override;
  bool CanCreate(const std::string& name) override { return name == "cb.data"; }
  // Other names fail "%s.CreateObject: can not create object with name '%s'".
  TSLStorageObject* CreateObject(const std::string& name) override;
  std::string GetPrefix() const override { return "clipboard://"; }

protected:
  bool DefaultDebug() const override;

private:
  TStorageManager& manager_;
};

}  // namespace tolvek
