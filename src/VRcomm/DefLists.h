// The field and index definition lists through which a client hands a table
// definition to the schema operations.  Both classes work on the plain C
// structures of the public header: either over a client's own structure
// (replacement in place only) or over storage they own (which may also grow).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <velmora/velmora.h>

namespace velmora {

class TFieldDefList {
 public:
  // Owns its storage, empty.
  TFieldDefList();
  // Works on the client's structure; never appends to it.
  explicit TFieldDefList(::TFieldDefList *client);
  TFieldDefList(const TFieldDefList &) = delete;
  TFieldDefList &operator=(const TFieldDefList &) = delete;

  int32_t Count() const;
  // Copies the descriptor at index; EListError "List index out of bounds (%d)".
  void GetField(int32_t index, TFieldDescriptor &out) const;
  // Add: a zero-filled descriptor is appended (index ignored; only for owned
  // storage, else EListError).  Otherwise the descriptor at index is zero-filled
  // and refilled (EListError when index is out of bounds).
  void SetField(bool add, int32_t index, const std::string &name, char fieldType, int32_t len, int32_t offset,
                uint8_t fieldFlags, const std::string &param1, const std::string &param2, const std::string &param3);
  // The C structure (the client's, or one over the owned storage).
  ::TFieldDefList *AsC();

 private:
  TFieldDescriptor *At(int32_t index) const;  // EListError when out of bounds

  ::TFieldDefList *list_;
  ::TFieldDefList own_{0, nullptr};
  std::vector<TFieldDescriptor> storage_;
};

class TIndexDefList {
 public:
  TIndexDefList();
  explicit TIndexDefList(::TIndexDefList *client);
  TIndexDefList(const TIndexDefList &) = delete;
  TIndexDefList &operator=(const TIndexDefList &) = delete;

  int32_t Count() const;
  // The name, cut to 255 characters; EListError when out of bounds.
  std::string GetName(int32_t index) const;
  // The index's field numbers; EListError when out of bounds.
  std::vector<int32_t> GetFieldNos(int32_t index) const;
  // Add: a new entry is appended (owned storage only) and index must be its
  // position.  Then the name at index is replaced and entry j of its field
  // numbers is set to fieldNos[j]; an existing list shorter than fieldNos
  // raises EListError.  Entries beyond fieldNos' count stay as they were.
  void SetIndex(bool add, int32_t index, const std::vector<int32_t> &fieldNos, const std::string &name);
  ::TIndexDefList *AsC();

 private:
  TIndexDef *At(int32_t index) const;

  ::TIndexDefList *list_;
  ::TIndexDefList own_{0, nullptr};
  std::vector<TIndexDef> storage_;
};

// Raises EListError with "List index out of bounds (<index>)".
[[noreturn]] void RaiseListError(int32_t index);

}  // namespace velmora
