// The module service of a device: it learns which firmware modules the drive carries from the
// drive's information blocks, loads one parameter tree file per module from the installation,
// publishes the modules' data dictionaries to the other services, and runs the saving and
// loading of drive configurations through the data interfaces the services register with it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/execute_control.h"
#include "comm/service_provider.h"
#include "devices/data_interface.h"
#include "devices/device_service.h"
#include "devices/info_node_list.h"
#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

class TLogWindow;
class TLogWindowManager;
class TTalkClient;
class TTalkService;

// One firmware module of the drive.
class TModuleItem {
public:
  // The composed name: name, "_", sub-name, "_V", version, "S", subversion, and "_" + extra
  // when the block has an extra text ("QVSCOPE_RECORDER_V1S4_DEMO").
  std::string Name;
  std::string NodeName;
  std::string NodeSubName;
  std::string NodeExtra;
  int Version = 0;
  int Subversion = 0;
  uint16_t NodeType = 0;
  // The module's data from its parameter tree file, or none before it is loaded.
  TRef<TSLDictionary> Data;
};

// The composed module name of a module block.
std::string ModuleName(const TInfoNodeItem& node);

class TModuleService : public TDeviceService {
public:
  enum TOperation : uint8_t { opNone = 0, opSave = 1, opLoad = 2 };

  // `talkClient` supplies the actor of the information block walk. Needs the main scheduler.
  TModuleService(TDevice& device, TSLDictionary* profile, TTalkClient& talkClient);
  ~TModuleService() override;

  const char* ClassName() const override { return "TModuleService"; }

  // Online devices wait for the Talk service and then walk the information blocks ("Starting"
  // with wait until the modules' tree files are loaded); offline and archive devices start at
  // once with the modules they know.
  void Start(bool& wait) override;
  void Stop(bool& wait) override;
  void Kill() override {}
  // "ProgramStartAddr": the executable block's program start address in decimal, when the
  // drive has one.
  void GetInfo(const std::string& name, std::string& value, bool& handled) override;

  int ModuleCount() const { return static_cast<int>(modules_.size()); }
  // "%s.ModuleAt: index out of bounds" outside 0..count-1.
  TModuleItem& ModuleAt(int index) const;
  // Appends a module known without a drive (offline and archive devices); its tree file is
  // loaded when the service starts.
  void AddModule(std::unique_ptr<TModuleItem> module) { modules_.push_back(std::move(module)); }
  // Loads the parameter tree file of every module without data (of every module with
  // `reload`). A failure is written to the debug log, empties the module list and puts the
  // service into "Error"; answers whether all were loaded.
  bool LoadModules(bool reload);
  // The first executable block, or nullptr.
  const TInfoNodeItem* ExecutableNode() const;
  TInfoNodeList& InfoNodes() { return infoNodes_; }

  // Appends an interface (not owned) and its type names: "%s.RegisterDataInterface: interface
  // '%s' already registered" for the same interface twice.
  void RegisterDataInterface(TDataInterface& dataInterface);
  // Forgets an interface (a service that goes away); nothing when it is not registered.
  void UnregisterDataInterface(TDataInterface& dataInterface);
  // The interface handling `typeName`, or nullptr.
  TDataInterface* FindDataInterface(const std::string& typeName) const;
  int DataInterfaceCount() const { return static_cast<int>(interfaces_.size()); }

  // Start a run on ConfigurationFileName; each does nothing while a run is in progress. Load
  // asks which data to import, LoadAll imports all, LoadAllAnySubversion also accepts trees
  // with a newer subversion; Save asks which data to save, SaveAll saves all.
  void LoadConfiguration() { StartRun(opLoad, false, false); }
  void LoadConfigurationAll() { StartRun(opLoad, true, false); }
  void LoadConfigurationAllAnySubversion() { StartRun(opLoad, true, true); }
  void SaveConfiguration() { StartRun(opSave, false, false); }
  void SaveConfigurationAll() { StartRun(opSave, true, false); }

  uint8_t Operation() const { return operation_; }
  // The items of the run in progress or of the last one.
  int DataItemCount() const { return static_cast<int>(items_.size()); }
  TDataItem& DataItemAt(int index) const { return *items_.at(static_cast<size_t>(index)); }
  const std::vector<std::string>& ConfigurationTrees() const { return configurationTrees_; }
  const std::vector<std::string>& CompatibleTrees() const { return compatibleTrees_; }

  // The file the next run saves to or loads from.
  std::string ConfigurationFileName;
  // Called when a run ends (after the waiting client of the provider is resumed).
  std::function<void(TModuleService& service)> OnRunFinished;

  TServiceProvider& Provider() { return provider_; }
  TExecuteControl& Control() { return control_; }

  // Where runs open their log windows (not owned); without one the lines only reach the debug
  // log.
  static void SetLogWindowManager(TLogWindowManager* manager);

private:
  // The handed-over work of the execute control.
  struct TCurrent {
    TDataInterface* Interface = nullptr;
    uint8_t Code = 0;
    TDataItem* Item = nullptr;
  };

  void ModulesFound(TInfoNodeList& list);
  void StartRun(uint8_t operation, bool all, bool anySubversion);
  void ConfigurationStep(TExecuteControl& control);
  void ExecuteCurrent(TExecuteControl& control);
  // Hands one interface to the control with `code`, or moves to `nextStep` when all are done.
  void HandInterface(TExecuteControl& control, uint8_t code, int nextStep);
  // Likewise for the data items.
  void HandItem(TExecuteControl& control, uint8_t code, int nextStep);
  void BuildSaveItems();
  void WriteConfigurationFile();
  void ReadConfigurationFile();
  bool ProgramRunning() const;
  void OpenLog(const std::string& caption);
  void LogLine(const std::string& text);
  void EndRun();

  TTalkClient& talkClient_;
  TTalkService* talk_ = nullptr;
  std::vector<std::unique_ptr<TModuleItem>> modules_;
  std::vector<TDataInterface*> interfaces_;
  std::vector<std::pair<std::string, TDataInterface*>> dataTypes_;
  TInfoNodeList infoNodes_;
  std::vector<std::unique_ptr<TDataItem>> items_;
  int executableNode_ = -1;
  TServiceProvider provider_;
  TExecuteControl control_;
  uint8_t operation_ = opNone;
  bool importAll_ = false;
  bool saveAll_ = false;
  bool ignoreSubversion_ = false;
  bool cancelled_ = false;  // the user cancelled the choice of data to save
  int step_ = 0;
  int index_ = 0;
  TCurrent current_;
  TLogWindow* logWindow_ = nullptr;
  std::vector<std::string> chosenTypes_;
  std::vector<std::string> configurationTrees_;
  std::vector<std::string> compatibleTrees_;
};

}  // namespace tolvek
