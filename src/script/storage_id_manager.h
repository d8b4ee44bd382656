// The storage ID registry: every source the syntax is read from (a file, an archive entry) gets
// a 16-bit number that character streams and debug positions carry, so that messages and the
// debugger can name the source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/ref_obj.h"
#include "script/sl_object.h"
#include "script/stream_decoder.h"

namespace tolvek {

// One registered source: its full name and the value last read from it.
struct TStorageIDInfo {
  std::string Name;
  TRef<TSLObject> Value;
  bool Deleted = false;
};

class TStorageIDManager : public TSourceNameLookup {
public:
  const char* ClassName() const { return "TStorageIDManager"; }

  // The ID of the entry with exactly this name, else a new entry in the first deleted slot or
  // appended. IDs start at 1 (list position + 1).
  uint16_t Register(const std::string& name, TSLObject* value = nullptr);
  // Fails "%s.GetIDInfo: ID %d does not exist" beyond the list and "%s.GetIDInfo: ID %d was
  // deleted" for a deleted slot.
  TStorageIDInfo& GetIDInfo(uint16_t id);
  // Whether `name` is registered, and its ID.
  bool FindID(const std::string& name, uint16_t& id) const;
  // Frees the slot of `id` for reuse (its value is released).
  void Unregister(uint16_t id);

  // The registered name of `id`; empty for 0, an unknown or a deleted ID.
  std::string SourceName(uint16_t id) override;

private:
  std::vector<TStorageIDInfo> entries_;
};

}  // namespace tolvek
