// Drive configuration files (".qvc"): one dictionary with an "Info" dictionary ("Type"
// "Quarvo configuration", "Version" 1) and the "Items" array of data item dictionaries in the
// order the items were made. Also the rule by which the parameter trees named in a
// configuration are matched against the modules of a drive.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devices/data_interface.h"
#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

constexpr const char* kConfigurationType = "Quarvo configuration";
constexpr int kConfigurationVersion = 1;
// The data type whose items carry a parameter tree and need a stopped drive.
constexpr const char* kParametersType = "Parameters";

// The configuration dictionary of `items` (their dictionaries are shared, not copied).
TRef<TSLDictionary> MakeConfiguration(const std::vector<std::unique_ptr<TDataItem>>& items);

// Writes the configuration through the storage manager; a name without a scheme prefix is a
// file ("file://"). The file is replaced only once the new text is complete, so an interrupted
// write keeps the previous file.
void WriteConfiguration(const std::string& fileName, TSLDictionary* configuration);

// The item dictionaries of a decoded configuration, in file order. The root must be a
// dictionary with an "Info" dictionary and an "Items" array whose elements are dictionaries
// with an "Info" dictionary holding a "Type" text, and every "Parameters" item needs its
// "ParameterTreeData" "TreeName": anything else raises, so a broken file yields no items.
std::vector<TRef<TSLDictionary>> ConfigurationItems(TSLObject* root);
// ConfigurationItems of the file read through the storage manager.
std::vector<TRef<TSLDictionary>> ReadConfiguration(const std::string& fileName);

// "Info" "Type" of an item dictionary.
std::string ItemType(TSLDictionary& item);
// "ParameterTreeData" "TreeName" of a "Parameters" item.
std::string ParameterTreeName(TSLDictionary& item);

// Whether configuration tree `configurationTree` may be loaded into a drive module named
// `moduleName`: equal names match; otherwise the first parts (up to "_") must be equal, the
// second part is not compared, and the third part ("V<version>S<subversion>" in both) must
// have equal versions and, unless subversions are ignored, a module subversion at least the
// configuration's.
bool TreesCompatible(const std::string& configurationTree, const std::string& moduleName, bool ignoreSubversion);

// The message shown when some configuration tree matches no module of the drive.
std::string IncompatibleTreesMessage(const std::vector<std::string>& moduleNames,
                                     const std::vector<std::string>& configurationTrees);

}  // namespace tolvek
