// Builds the System dictionary from the operation tables.
#include "script/interp/system_dictionary.h"

#include "script/interp/internal_procedure.h"

namespace tolvek {

TRef<TSLDictionary> CreateSystemDictionary() {
  TRef<TSLDictionary> system = MakeRef<TSLDictionary>();
  const std::span<const TSLOperatorEntry> groups[] = {
      StackOperators(),      ArithmeticOperators(), StringOperators(),
      ConversionOperators(), CollectionOperators(), DictionaryOperators(),
      ControlOperators(),    FileOperators(),       DateTimeOperators(),
      StorageOperators(),    InteractionOperators(),
  };
  for (const auto& group : groups)
    for (const TSLOperatorEntry& entry : group) {
      TRef<TSLInternalProcedure> operation(entry.Make());
      system->AddObject(entry.Name, operation.Get());
    }
  TRef<TSLBoolean> yes = MakeRef<TSLBoolean>(true);
  TRef<TSLBoolean> no = MakeRef<TSLBoolean>(false);
  system->AddObject("true", yes.Get());
  system->AddObject("false", no.Get());
  return system;
}

}  // namespace tolvek
