// A configuration file held as one script dictionary, addressed by backslash paths
// ("ViewConfig\Language"); keys compare without regard to case.
#pragma once

#include <string>

#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

class TStorageManager;

class TProgramRegistry {
public:
  TProgramRegistry();
  const char* ClassName() const { return "TProgramRegistry"; }

  // Empties the root, then reads the object at `url`; a dictionary becomes the new root,
  // anything else leaves the root empty. The storage manager's failures pass on.
  void LoadFromStorage(TStorageManager& storage, const std::string& url);
  // Writes the root dictionary to `url` (created if needed; a file is replaced atomically).
  void SaveToStorage(TStorageManager& storage, const std::string& url);

  // The object at `path`. Every component but the last must name a dictionary, else
  // "%s: key %s not found"; a missing last key fails "%s error: no object named %s".
  TSLObject* GetKey(const std::string& path);
  // Stores `value` at `path`, creating missing intermediate dictionaries; an existing last key
  // fails "%s.AddObject: object with name '%s' already exists".
  void SetKey(const std::string& path, TSLObject* value);
  // The dictionary at `path`; anything else fails "%s.GetDirKey: key %s not found".
  TSLDictionary* GetDirKey(const std::string& path);
  // Replaces the text of the string at `path` (which must be a string).
  void SetStringKey(const std::string& path, const std::string& text);

  TSLDictionary& GetRoot() const noexcept { return *root_; }

private:
  // The dictionary holding the last component of `path`, and that component.
  TSLDictionary* Parent(const std::string& path, bool create, std::string& lastKey);

  TRef<TSLDictionary> root_;
};

}  // namespace tolvek
