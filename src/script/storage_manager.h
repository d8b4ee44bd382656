// The storage manager: one process-wide object through which every value in the text syntax is
// read and written by name. A name may carry a scheme prefix ("file://", "archive://",
// "clipboard://") that selects a plug-in; without one the searchable plug-ins are asked in turn.
// It owns the shared decoder, encoder and string stream, the search directories and the storage
// ID registry. Its script side (interpreter, contexts, script classes) is added on top of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "script/object_text.h"
#include "script/ref_obj.h"
#include "script/sl_array.h"
#include "script/storage_id_manager.h"
#include "script/storage_object.h"

namespace tolvek {

class TStorageManager {
public:
  TStorageManager();
  ~TStorageManager();
  TStorageManager(const TStorageManager&) = delete;
  TStorageManager& operator=(const TStorageManager&) = delete;

  const char* ClassName() const { return "TStorageManager"; }

  // The manager created last and still alive (the process's one in a running program).
  static TStorageManager* Current() noexcept;

  // Opens an existing object (auto-released): by its prefix's plug-in, else by the first
  // searched plug-in that has it; fails "%s.GetObject: object with name '%s' not found".
  TSLStorageObject* GetObject(const std::string& name);
  TSLStorageObject* GetObject(const std::string& name, TStorageAccess access);
  TSLStorageObject* GetObject(const std::string& name, TStorageAccess access, bool debug);
  // Opens `name` for writing, creating it if needed (auto-released); fails
  // "%s.CreateObject: could not create object '%s'" when no plug-in can.
  TSLStorageObject* CreateObject(const std::string& name);
  // Whether a plug-in can open `name`.
  bool ObjectExists(const std::string& name);

  // The full name of an existing file: an absolute name as it is, else the current directory
  // and then each search directory in order; empty when none exists.
  std::string FindFile(const std::string& name) const;
  // Appends a directory (a separator is added when missing). The installation directory is
  // always the first.
  void AddSearchDirectory(const std::string& dir);
  // The search directories, each ending in a separator.
  TSLArray& GetSearchDirectories() noexcept { return *searchDirectories_; }

  // Appends a plug-in (owned); `searched` also asks it for names without prefix.
  void AddPlugin(std::unique_ptr<TStoragePluginInterface> plugin, bool searched);

  // The value of `text` (auto-released; null for a text of only blanks and comments). Decodes
  // with debug positions when the debug flag is set.
  TSLObject* StrToObj(const std::string& text);
  // The text of `value` as the encoder writes it.
  std::string ObjToStr(TSLObject* value);

  // Reads one root value at the stream's position (the stream carries its storage ID).
  TRef<TSLObject> DecodeFrom(TSLCharStream& stream, bool debug);
  // The shared decoder, encoder and their streams: file reading and writing go through it.
  TSLObjectText& GetObjectText() noexcept { return text_; }

  TStorageIDManager& GetIDManager() noexcept { return ids_; }

  // Debug flag for names read without an explicit flag.
  bool GetDebug() const noexcept { return debug_; }
  void SetDebug(bool debug) noexcept { debug_ = debug; }

private:
  // The plug-in whose prefix starts `name`, and the rest of the name.
  TStoragePluginInterface* PluginForPrefix(const std::string& name, std::string& rest) const;

  TSLObjectText text_;
  TRef<TSLArray> searchDirectories_;
  std::vector<std::unique_ptr<TStoragePluginInterface>> plugins_;
  std::vector<TStoragePluginInterface*> searchPlugins_;
  TStorageIDManager ids_;
  bool debug_ = false;
  TStorageManager* previous_ = nullptr;
};

}  // namespace tolvek
