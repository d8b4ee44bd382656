// The data interfaces through which services contribute their part of a drive configuration,
// and the data items, one entry of a configuration each.
#pragma once

#include <cstdint>
#include <string>

#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

class TExecuteControl;

// Operation codes handed to TDataInterface::ExecuteOperation.
enum TDataOperationCode : uint8_t {
  doRead = 2,     // save: read the item's data from the drive or the service into the item
  doWrite = 3,    // load: write the item's data into the service or the drive
  doBegin = 4,    // save and load, once per interface, first: take hold of the service
  doPrepare = 5,  // load: remove the service's existing data of this kind
  doEnd = 7,      // save and load, once per interface, last: release the service
};

// One entry of a configuration: a dictionary that always has an "Info" dictionary ("Type",
// "Version", "Name", "Path"); every other key belongs to the interface of its type.
class TDataItem {
public:
  // A new item with an empty "Info".
  TDataItem();
  // An item holding `data` (retained); "Info" is added when it has none.
  explicit TDataItem(TSLDictionary* data);

  TSLDictionary& Data() const { return *data_; }
  TSLDictionary& Info() const;
  // "Info" "Type", or "" when it has none.
  std::string Type() const;
  void SetType(const std::string& type) { Info().SetStrWithName("Type", type); }

private:
  TRef<TSLDictionary> data_;
};

// What a configuration run hands to an interface: the control that calls it, the operation
// and, for the per-item operations, the item. An interface that needs more calls sets the
// control's Repeat, or parks it with Wait and resumes it with Continue.
struct TDataOperation {
  TExecuteControl& Control;
  uint8_t Code;
  TDataItem* Item;  // nullptr for doBegin and doEnd
};

// One kind of data a service can save and load.
class TDataInterface {
public:
  explicit TDataInterface(std::string name) : Name(std::move(name)) {}
  virtual ~TDataInterface() = default;
  TDataInterface(const TDataInterface&) = delete;
  TDataInterface& operator=(const TDataInterface&) = delete;

  virtual const char* ClassName() const { return "TDataInterface"; }

  // Number of data type names it handles.
  virtual int TypeCount() = 0;
  // The index-th type name ("index out of bounds" for a wrong index).
  virtual std::string TypeName(int index) = 0;
  // Number of items it contributes when saving.
  virtual int ItemCount() = 0;
  // Performs `operation`, possibly across several calls.
  virtual void ExecuteOperation(TDataOperation& operation) = 0;
  // Fills the "Info" of a new item for its index-th item.
  virtual void InitItem(int index, TDataItem& item) = 0;

  // Shown when the user chooses which data to save or load.
  std::string Name;
  // The image of its node in the module check dialog.
  int ImageIndex = 0;
  // The control it is called from during a run, else nullptr.
  TExecuteControl* Control = nullptr;
};

}  // namespace tolvek
