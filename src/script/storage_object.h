// Storage objects and the plug-ins that open them: the uniform way every configuration file,
// device description, script and clipboard content is read and written by name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/sl_object.h"
#include "script/storage_format.h"

namespace tolvek {

// Access to a storage object: "R", "W" or "RW".
enum TStorageAccess : int32_t { saRead = 0, saWrite = 1, saReadWrite = 2 };

// Parses "R", "W", "RW" in any case; fails "illegal access attribute '%s'".
TStorageAccess StrToStorageAccess(std::string_view text);

// A named store holding one value in the text syntax.
class TSLStorageObject : public TSLObject {
public:
  const char* ClassName() const override { return "TSLStorageObject"; }
  // The name the object was opened under.
  virtual std::string GetName() = 0;
  // sfUnknown, sfASCII or sfEASCII: how Save writes the text.
  virtual TSLStorageFormat GetFormat() = 0;
  virtual void SetFormat(TSLStorageFormat format) = 0;
  // The value held (borrowed; may be null).
  virtual TSLObject* GetData() = 0;
  // Replaces the value held (retained).
  virtual void SetData(TSLObject* value) = 0;
  // Reads the value from the store.
  virtual void Load() = 0;
  // Writes the value to the store.
  virtual void Save() = 0;
};

// Opens storage objects of one scheme ("file://", "archive://", "clipboard://").
class TStoragePluginInterface {
public:
  virtual ~TStoragePluginInterface() = default;
  // Whether the plug-in can open `name` (given without the prefix).
  virtual bool Exists(const std::string& name) = 0;
  // Opens an existing object for reading with the storage manager's debug flag.
  TSLStorageObject* GetObject(const std::string& name) { return GetObject(name, saRead); }
  TSLStorageObject* GetObject(const std::string& name, TStorageAccess access) {
    return GetObject(name, access, DefaultDebug());
  }
  // Opens an existing object; the result is auto-released.
  virtual TSLStorageObject* GetObject(const std::string& name, TStorageAccess access,
                                      bool debug) = 0;
  // Whether the plug-in could create `name`.
  virtual bool CanCreate(const std::string& name) = 0;
  // Opens `name` for writing, creating it if needed; the result is auto-released.
  virtual TSLStorageObject* CreateObject(const std::string& name) = 0;
  // The scheme prefix ("file://").
  virtual std::string GetPrefix() const = 0;

protected:
  // The debug flag used when a caller gives none.
  virtual bool DefaultDebug() const = 0;
};

}  // namespace tolvek
