// The module service: module discovery, parameter tree files and configuration runs.
#include "devices/module_service.h"

#include <algorithm>

#include "app/log_window_manager.h"
#include "comm/talk_service.h"
#include "devices/configuration_file.h"
#include "devices/module_check_dialog.h"
#include "devices/status_service.h"
#include "platform/debug_log.h"
#include "platform/file_paths.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"
#include "script/name_compare.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace {

TLogWindowManager* logWindowManager = nullptr;

// The installation path of a module's parameter tree file.
std::string TreeFileName(const std::string& moduleName) {
  return InstallDir() + "ParTrees\\" + moduleName + ".IN2";
}

void AddOnce(std::vector<std::string>& list, const std::string& text) {
  if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}

bool Contains(const std::vector<std::string>& list, const std::string& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

// Shows the choices in the module check dialog and removes the unticked ones from `chosen`;
// false when the user cancels.
bool ChooseTypes(const std::string& caption, const std::string& rootCaption, std::vector<std::string>& chosen,
                 const std::vector<int>& images) {
  std::vector<TModuleCheckChoice> choices;
  for (size_t i = 0; i < chosen.size(); ++i) choices.push_back({chosen[i], images[i], true});
  if (!ExecuteModuleCheckDialog(caption, rootCaption, choices)) return false;
  std::vector<std::string> kept;
  for (const TModuleCheckChoice& choice : choices)
    if (choice.Checked) kept.push_back(choice.Name);
  chosen = std::move(kept);
  return true;
}

}  // namespace

std::string ModuleName(const TInfoNodeItem& node) {
  std::string name = node.Name() + "_" + node.SubName() + "_V" + FormatInt(node.Version()) + "S" +
                     FormatInt(node.Subversion());
  const std::string extra = node.Extra();
  if (!extra.empty()) name += "_" + extra;
  return name;
}

TModuleService::TModuleService(TDevice& device, TSLDictionary* profile, TTalkClient& talkClient)
    : TDeviceService(device, profile), talkClient_(talkClient), infoNodes_(talkClient), provider_(this),
      control_(this) {
  control_.OnIdle = [this](TExecuteControl& control, int) { ConfigurationStep(control); };
  control_.OnExecute = [this](TExecuteControl& control, int) { ExecuteCurrent(control); };
  control_.OnLog = [this](const std::string& text) { LogLine(text); };
}

TModuleService::~TModuleService() {
  if (logWindow_ && logWindowManager) logWindowManager->CloseLogWindow(logWindow_);
}

void TModuleService::SetLogWindowManager(TLogWindowManager* manager) { logWindowManager = manager; }

void TModuleService::Start(bool& wait) {
  const uint8_t type = Device().DeviceType();
  if (State() == ssStopped) {
    if (type == dtOnline) {
      if (!Device().HasService("TalkService")) {
        DebugError("couldn't start module service: talk service not found");
        return SetState(ssError);
      }
      talk_ = &Partner<TTalkService>("TalkService");
      return SetState(ssStarting);
    }
    if (type == dtOffline || type == dtArchive) {
      if (LoadModules(false)) SetState(ssStarted);
      return;
    }
    DebugError("couldn't start module service: unknown device type");
    return SetState(ssError);
  }
  if (State() != ssStarting) return;
  if (type == dtOnline) {
    if (!talk_ || talk_->State() != ssStarted) return;
    wait = true;
    if (infoNodes_.State() != TInfoNodeList::nsIdle) return;
    try {
      infoNodes_.ReadInfoNodes(*talk_, 0, [this](TInfoNodeList& list) { ModulesFound(list); });
    } catch (const std::exception& failure) {
      wait = false;
      DebugError(failure.what());
      SetState(ssError);
    }
    return;
  }
  if (type == dtOffline) {
    if (LoadModules(false)) SetState(ssStarted);
    return;
  }
  DebugError("couldn't start module service: startup sequence error");
  SetState(ssError);
}

void TModuleService::Stop(bool&) { SetState(ssStopped); }

void TModuleService::GetInfo(const std::string& name, std::string& value, bool& handled) {
  if (name == "ProgramStartAddr" && ExecutableNode()) {
    value = FormatInt(ExecutableNode()->StartAddress());
    handled = true;
  }
}

TModuleItem& TModuleService::ModuleAt(int index) const {
  if (index < 0 || index >= ModuleCount()) throw EError(StrFormat("%s.ModuleAt: index out of bounds", ClassName()));
  return *modules_[static_cast<size_t>(index)];
}

const TInfoNodeItem* TModuleService::ExecutableNode() const {
  if (executableNode_ < 0 || executableNode_ >= infoNodes_.NodeCount()) return nullptr;
  return &infoNodes_.NodeAt(executableNode_);
}

void TModuleService::ModulesFound(TInfoNodeList& list) {
  modules_.clear();
  executableNode_ = -1;
  for (int i = 0; i < list.NodeCount(); ++i) {
    const TInfoNodeItem& node = list.NodeAt(i);
    if (node.NodeType() == ntExecutable && executableNode_ < 0) executableNode_ = i;
    if (node.NodeType() != ntModule) continue;
    auto module = std::make_unique<TModuleItem>();
    module->Name = ModuleName(node);
    module->NodeName = node.Name();
    module->NodeSubName = node.SubName();
    module->NodeExtra = node.Extra();
    module->Version = node.Version();
    module->Subversion = node.Subversion();
    module->NodeType = node.NodeType();
    modules_.push_back(std::move(module));
  }
  std::string missing;
  for (const auto& module : modules_) {
    if (FileExists(TreeFileName(module->Name))) continue;
    if (!missing.empty()) missing += ", ";
    missing += module->Name + ".IN2";
  }
  if (!missing.empty()) {
    UserInterface().MessageBox("Parameter tree files not found: " + missing, TMsgDlgType::mtError, mbOK, mbOK);
    return SetState(ssError);
  }
  if (LoadModules(false) && State() == ssStarting) SetState(ssStarted);
}

bool TModuleService::LoadModules(bool reload) {
  for (const auto& module : modules_) {
    if (module->Data && !reload) continue;
    try {
      TStorageManager* storage = TStorageManager::Current();
      if (!storage) throw EError("no storage manager");
      module->Data = CastObj<TSLDictionary>(storage->GetObject(TreeFileName(module->Name))->GetData());
    } catch (const std::exception& failure) {
      DebugError(StrFormat("couldn't load module '%s' (%s)", module->Name, failure.what()));
      modules_.clear();
      SetState(ssError);
      return false;
    }
  }
  return true;
}

void TModuleService::RegisterDataInterface(TDataInterface& dataInterface) {
  if (std::find(interfaces_.begin(), interfaces_.end(), &dataInterface) != interfaces_.end())
    throw EError(StrFormat("%s.RegisterDataInterface: interface '%s' already registered", ClassName(),
                           dataInterface.Name));
  // The type names are checked first, so a refused type leaves nothing half registered.
  std::vector<std::string> types;
  for (int i = 0; i < dataInterface.TypeCount(); ++i) {
    std::string type = dataInterface.TypeName(i);
    if (FindDataInterface(type) || Contains(types, type))
      throw EError(StrFormat("%s.RegisterDataInterface: data type '%s' already registered", ClassName(), type));
    types.push_back(std::move(type));
  }
  interfaces_.push_back(&dataInterface);
  for (std::string& type : types) {
    auto position = std::lower_bound(dataTypes_.begin(), dataTypes_.end(), type,
                                     [](const auto& entry, const std::string& name) { return CompareNames(entry.first, name) < 0; });
    dataTypes_.insert(position, {std::move(type), &dataInterface});
  }
}

void TModuleService::UnregisterDataInterface(TDataInterface& dataInterface) {
  interfaces_.erase(std::remove(interfaces_.begin(), interfaces_.end(), &dataInterface), interfaces_.end());
  std::erase_if(dataTypes_, [&](const auto& entry) { return entry.second == &dataInterface; });
  if (current_.Interface == &dataInterface) current_ = TCurrent();
}

TDataInterface* TModuleService::FindDataInterface(const std::string& typeName) const {
  auto position = std::lower_bound(dataTypes_.begin(), dataTypes_.end(), typeName,
                                   [](const auto& entry, const std::string& name) { return CompareNames(entry.first, name) < 0; });
  if (position != dataTypes_.end() && SameName(position->first, typeName)) return position->second;
  return nullptr;
}

// ---- Configuration runs ----

void TModuleService::StartRun(uint8_t operation, bool all, bool anySubversion) {
  if (operation_ != opNone) return;
  operation_ = operation;
  importAll_ = operation == opLoad && all;
  saveAll_ = operation == opSave && all;
  ignoreSubversion_ = anySubversion;
  cancelled_ = false;
  step_ = 0;
  index_ = 0;
  if (control_.WaitObject() == this) control_.Continue(this);
}

void TModuleService::ConfigurationStep(TExecuteControl& control) {
  if (operation_ == opNone) {
    step_ = 0;
    index_ = 0;
    control.Wait(this);
    return;
  }
  const bool save = operation_ == opSave;
  switch (step_) {
    case 0:
      OpenLog(save ? "Save" : "Load");
      step_ = 1;
      index_ = 0;
      break;
    case 1: HandInterface(control, doBegin, 2); break;
    case 2:
      if (save) BuildSaveItems();
      else ReadConfigurationFile();
      step_ = 3;
      index_ = 0;
      break;
    case 3: HandItem(control, save ? doRead : doPrepare, 4); break;
    case 4:
      if (save) {
        WriteConfigurationFile();
        step_ = 5;
        index_ = 0;
      } else {
        HandItem(control, doWrite, 5);
      }
      break;
    default:
      HandInterface(control, doEnd, 6);
      if (step_ == 6) EndRun();
      break;
  }
}

void TModuleService::HandInterface(TExecuteControl& control, uint8_t code, int nextStep) {
  if (index_ >= static_cast<int>(interfaces_.size())) {
    step_ = nextStep;
    index_ = 0;
    return;
  }
  TDataInterface* dataInterface = interfaces_[static_cast<size_t>(index_++)];
  current_ = {dataInterface, code, nullptr};
  dataInterface->Control = &control;
  control.Execute(this);
}

void TModuleService::HandItem(TExecuteControl& control, uint8_t code, int nextStep) {
  if (index_ >= static_cast<int>(items_.size())) {
    step_ = nextStep;
    index_ = 0;
    return;
  }
  TDataItem* item = items_[static_cast<size_t>(index_++)].get();
  try {
    const std::string type = item->Type();
    TDataInterface* dataInterface = FindDataInterface(type);
    if (!dataInterface) throw EError(StrFormat("no data interface found for type with name '%s'", type));
    current_ = {dataInterface, code, item};
    dataInterface->Control = &control;
    control.Execute(this);
  } catch (const std::exception& failure) {
    DebugWarning(failure.what());
  }
}

void TModuleService::ExecuteCurrent(TExecuteControl& control) {
  if (!current_.Interface) return;
  try {
    TDataOperation operation{control, current_.Code, current_.Item};
    current_.Interface->ExecuteOperation(operation);
  } catch (const std::exception& failure) {
    control.Repeat = false;
    DebugWarning(failure.what());
  }
  if (!control.Repeat && current_.Interface) {
    current_.Interface->Control = nullptr;
    current_ = TCurrent();
  }
}

void TModuleService::BuildSaveItems() {
  items_.clear();
  chosenTypes_.clear();
  std::vector<int> images;
  for (TDataInterface* dataInterface : interfaces_) {
    if (Contains(chosenTypes_, dataInterface->Name)) continue;
    chosenTypes_.push_back(dataInterface->Name);
    images.push_back(dataInterface->ImageIndex);
  }
  if (!saveAll_ && !ChooseTypes("Select the data to be saved.", "Save All", chosenTypes_, images)) {
    // Nothing was chosen: writing would replace the file with an empty configuration.
    cancelled_ = true;
    chosenTypes_.clear();
    return;
  }
  for (TDataInterface* dataInterface : interfaces_) {
    if (!Contains(chosenTypes_, dataInterface->Name)) continue;
    try {
      const int count = dataInterface->ItemCount();
      for (int i = 0; i < count; ++i) {
        items_.push_back(std::make_unique<TDataItem>());
        dataInterface->InitItem(i, *items_.back());
      }
    } catch (const std::exception& failure) {
      DebugWarning(failure.what());
    }
  }
}

void TModuleService::WriteConfigurationFile() {
  if (cancelled_) return;
  try {
    WriteConfiguration(ConfigurationFileName, MakeConfiguration(items_).Get());
  } catch (const std::exception& failure) {
    DebugError(StrFormat("couldn't save file '%s' (%s)", ConfigurationFileName, failure.what()));
  }
}

void TModuleService::ReadConfigurationFile() {
  items_.clear();
  chosenTypes_.clear();
  configurationTrees_.clear();
  compatibleTrees_.clear();
  std::vector<TRef<TSLDictionary>> dictionaries;
  try {
    dictionaries = ReadConfiguration(ConfigurationFileName);
  } catch (const std::exception& failure) {
    DebugError(StrFormat("couldn't load file '%s' (%s)", ConfigurationFileName, failure.what()));
    return;
  }
  std::vector<int> images;
  for (const auto& dictionary : dictionaries) {
    const std::string type = ItemType(*dictionary);
    if (type == kParametersType) {
      const std::string tree = ParameterTreeName(*dictionary);
      if (!tree.empty()) AddOnce(configurationTrees_, tree);
    }
    if (TDataInterface* dataInterface = FindDataInterface(type); dataInterface && !Contains(chosenTypes_, dataInterface->Name)) {
      chosenTypes_.push_back(dataInterface->Name);
      images.push_back(dataInterface->ImageIndex);
    }
  }
  for (const std::string& tree : configurationTrees_) {
    for (const auto& module : modules_) {
      if (TreesCompatible(tree, module->Name, ignoreSubversion_)) {
        compatibleTrees_.push_back(tree);
        break;
      }
    }
  }
  if (compatibleTrees_.size() != configurationTrees_.size()) {
    std::vector<std::string> moduleNames;
    for (const auto& module : modules_) moduleNames.push_back(module->Name);
    UserInterface().MessageBox(IncompatibleTreesMessage(moduleNames, configurationTrees_), TMsgDlgType::mtError, mbOK,
                               mbOK);
    return;
  }
  if (!importAll_ && !ChooseTypes("Select the data to be imported.", "Import All", chosenTypes_, images)) return;
  for (const auto& dictionary : dictionaries) {
    const std::string type = ItemType(*dictionary);
    if (type == kParametersType && ProgramRunning()) {
      UserInterface().MessageBox("Stop the controller before importing a parameters configuration!",
                                 TMsgDlgType::mtWarning, mbOK, mbOK);
      break;
    }
    TDataInterface* dataInterface = FindDataInterface(type);
    if (dataInterface && Contains(chosenTypes_, dataInterface->Name))
      items_.push_back(std::make_unique<TDataItem>(dictionary.Get()));
  }
}

bool TModuleService::ProgramRunning() const {
  if (!Device().HasService("StatusService")) return false;
  auto* status = dynamic_cast<TStatusService*>(&Device().GetService("StatusService"));
  return status && status->IsProgramRunning();
}

void TModuleService::OpenLog(const std::string& caption) {
  if (!logWindowManager) return;
  TLogWindowManager* manager = logWindowManager;
  logWindow_ = manager->OpenLogWindow(caption, [this, manager] {
    TLogWindow* window = logWindow_;
    logWindow_ = nullptr;
    manager->CloseLogWindow(window);
  });
}

void TModuleService::LogLine(const std::string& text) {
  if (logWindow_ && logWindowManager) logWindowManager->AddLine(logWindow_, text);
  DebugInfo(text);
}

void TModuleService::EndRun() {
  operation_ = opNone;
  step_ = 0;
  index_ = 0;
  if (logWindow_ && logWindowManager) logWindowManager->CloseLogWindow(logWindow_);
  logWindow_ = nullptr;
  if (provider_.State() == TServiceProvider::psPaused && provider_.CurrentClient())
    provider_.CurrentClient()->Continue();
  if (OnRunFinished) OnRunFinished(*this);
}

}  // namespace tolvek
