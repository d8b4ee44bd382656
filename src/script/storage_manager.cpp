#include "script/storage_manager.h"

#include "platform/error.h"
#include "platform/file_paths.h"
#include "platform/text_format.h"
#include "script/name_compare.h"
#include "script/interp/sl_interpreter.h"
#include "script/interp/system_dictionary.h"
#include "script/script_class_factory.h"
#include "script/tasks/script_debugger.h"
#include "script/tasks/script_task.h"

namespace tolvek {

namespace {

TStorageManager* current = nullptr;

// "import": str -> -- binds the module of that name as a name space of the running context.
class TSLImportProcedure final : public TSLInternalProcedure {
public:
  const char* ClassName() const override { return "TSLImportProcedure"; }
  void Execute(TSLContext& context) override {
    const std::string name = StrOperand(context, 0);
    TStorageManager* storage = context.GetStorageManager();
    if (!storage) throw EError("no storage manager serves this script");
    storage->ImportIntoContext(name, *CastObj<TSLContextImplementation>(&context));
    context.Operands().Drop();
  }
};

// The name spaces every context has from its creation; an import never replaces them.
bool IsPermanentNamespace(const std::string& name) {
  return CompareNames(name, "System") == 0 || CompareNames(name, "Create") == 0 ||
         CompareNames(name, "Global") == 0;
}

}  // namespace

TStorageManager::TStorageManager()
    : searchDirectories_(MakeRef<TSLArray>()),
      previous_(current),
      interpreter_(std::make_unique<TSLInterpreter>()),
      system_(CreateSystemDictionary()),
      modules_(MakeRef<TSLDictionary>()),
      create_(MakeRef<TSLDictionary>()),
      taskFactory_(std::make_unique<TScriptTaskFactory>()) {
  text_.Decoder().SetSourceNameLookup(&ids_);
  AddSearchDirectory(InstallDir());
  AddSystemProcedure("import", NewObj<TSLImportProcedure>());
  current = this;
}

TStorageManager::~TStorageManager() {
  if (current == this) current = previous_;
}

void TStorageManager::AddSystemProcedure(const std::string& name, TSLInternalProcedure* operation) {
  TRef<TSLInternalProcedure> hold(operation);
  system_->AddObject(name, operation);
}

void TStorageManager::AnnounceScriptClass(const std::string& name,
                                          std::shared_ptr<TScriptClass> scriptClass) {
  if (create_->Known(name))
    throw EError(StrFormat("%s.AnnounceScriptClass: class with name '%s' already announced",
                           ClassName(), name));
  TRef<TSLScriptClassFactory> factory =
      MakeRef<TSLScriptClassFactory>(name, std::move(scriptClass));
  create_->AddObject(name, factory.Get());
}

bool TStorageManager::IsScriptClassAnnounced(const std::string& name) {
  return create_->Known(name);
}

void TStorageManager::SetScriptTaskFactory(std::unique_ptr<TScriptTaskFactory> factory) {
  taskFactory_ = std::move(factory);
}

std::unique_ptr<TScriptTaskInterface> TStorageManager::CreateScriptTask() {
  if (!taskFactory_)
    throw EError(StrFormat("%s.CreateScriptTask: no ScriptClassFactory announced", ClassName()));
  return taskFactory_->CreateScriptTask();
}

TRef<TSLContextImplementation> TStorageManager::CreateContext() {
  TRef<TSLContextImplementation> context = CreateScriptContext(system_.Get(), create_.Get());
  context->SetStorageManager(this);
  return context;
}

void TStorageManager::ImportIntoContext(const std::string& name,
                                        TSLContextImplementation& context) {
  TRef<TSLDictionary> module;
  std::string spaceName = name;
  const int32_t registered = modules_->IndexOfName(name);
  if (registered >= 0) {
    module = TRef<TSLDictionary>(CastObj<TSLDictionary>(modules_->GetObjAtIndex(registered)));
  } else {
    const std::string objectName = name + ".stx";
    if (!ObjectExists(objectName))
      throw EError(StrFormat("%s.ImportIntoContext: No storage object with name:", ClassName()) +
                   name + " found");
    TRef<TSLStorageObject> object(GetObject(objectName, saRead, context.GetDebug()));
    module = TRef<TSLDictionary>(CastObj<TSLDictionary>(object->GetData()));
    spaceName = std::string(FileNamePart(name));
  }
  TSLDictionary& spaces = context.GetNamespaces();
  const int32_t bound = spaces.IndexOfName(spaceName);
  if (bound >= 0 && spaces.GetObjAtIndex(bound) == module.Get()) return;
  // A module imported again (by a second procedure of the script, or after its file changed)
  // takes the place of the earlier binding; the context's own name spaces stay.
  if (bound >= 0 && !IsPermanentNamespace(spaceName)) spaces.RemoveObject(spaceName);
  context.AddNamespace(spaceName, module.Get());
  if (context.GetDebug())
    if (auto* task = dynamic_cast<TScriptTask*>(context.GetOwningTask()))
      if (TScriptDebugger* debugger = task->GetDebugger()) debugger->AddSource(module.Get());
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
