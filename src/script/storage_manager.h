// The storage manager: one process-wide object through which every value in the text syntax is
// read and written by name. A name may carry a scheme prefix ("file://", "archive://",
// "clipboard://") that selects a plug-in; without one the searchable plug-ins are asked in turn.
// It owns the shared decoder, encoder and string stream, the search directories and the storage
// ID registry. Its script side owns the interpreter all scripts share, the System dictionary,
// the module table for imports, the Create dictionary of announced script classes and the
// script task factory; it builds script contexts and imports modules into them.
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

class TScriptClass;
class TScriptTaskFactory;
class TScriptTaskInterface;
class TSLContextImplementation;
class TSLDictionary;
class TSLInternalProcedure;
class TSLInterpreter;

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

  // ---- Script side ----

  // The interpreter every script task runs its context with.
  TSLInterpreter& GetInterpreter() noexcept { return *interpreter_; }
  // The built-in operations, "true" and "false", and what the host added; shared by contexts.
  TSLDictionary& GetSystemDictionary() noexcept { return *system_; }
  // Pre-registered modules that "import" binds without reading a storage object.
  TSLDictionary& GetModuleTable() noexcept { return *modules_; }
  // One factory per announced script class, under the class's script name.
  TSLDictionary& GetCreateDictionary() noexcept { return *create_; }

  // Adds a built-in operation (taken over) to the System dictionary; fails with the
  // dictionary's AddObject message for a name already present.
  void AddSystemProcedure(const std::string& name, TSLInternalProcedure* operation);
  // Makes the class creatable from scripts as "Create:<name>"; the factory keeps the class
  // for as long as it or an object of it lives. Fails
  // "%s.AnnounceScriptClass: class with name '%s' already announced".
  void AnnounceScriptClass(const std::string& name, std::shared_ptr<TScriptClass> scriptClass);
  bool IsScriptClassAnnounced(const std::string& name);

  // Replaces (and frees) the factory CreateScriptTask uses.
  void SetScriptTaskFactory(std::unique_ptr<TScriptTaskFactory> factory);
  // A new script task from the factory, owned by the caller (an auto-free task is handed over
  // with release() once started); fails "%s.CreateScriptTask: no ScriptClassFactory announced"
  // without a factory.
  std::unique_ptr<TScriptTaskInterface> CreateScriptTask();

  // A new context whose dictionary stack is System, Create and a new Global, each also a
  // name space; it reads and writes storage objects through this manager.
  TRef<TSLContextImplementation> CreateContext();
  // Binds a module as name space of `context`: an entry of the module table directly, else the
  // dictionary held by the storage object `name` + ".stx" under the file-name part of `name`.
  // Fails "%s.ImportIntoContext: No storage object with name:<name> found" when there is none.
  void ImportIntoContext(const std::string& name, TSLContextImplementation& context);

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

  std::unique_ptr<TSLInterpreter> interpreter_;
  TRef<TSLDictionary> system_;
  TRef<TSLDictionary> modules_;
  TRef<TSLDictionary> create_;
  std::unique_ptr<TScriptTaskFactory> taskFactory_;
};

}  // namespace tolvek
