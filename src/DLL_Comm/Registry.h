// The user registry: every client connection is a user record whose position
// in the registry is its handle.  Records are only appended, so a handle is
// never reused while the library stays loaded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

class TVRVelmoraDB;

struct TUserRecord {
  int32_t ClientId = -1;
  std::string TableName = "nil";
  std::unique_ptr<TVRVelmoraDB> Table;  // none after DLL_Disconnect
};

class UserRegistry {
 public:
  // The process-wide registry, created with the reserved user 0 at first use
  // (the library creates it when it is loaded).
  static UserRegistry &Instance();

  int32_t Connect(int32_t clientId);
  void Disconnect(int32_t handle);
  // Refuses a handle whose low 16 bits are 0 or not below the user count with
  // EUserAccessError "Invalid user handle for Velmora access".
  void ValidateHandle(int32_t handle) const {
    const uint32_t slot = Slot(handle);
    if (slot == 0 || slot >= users_.size()) RefuseHandle();
  }
  // The handle's user record (validated).
  TUserRecord &UserOf(int32_t handle) {
    ValidateHandle(handle);
    return *users_[Slot(handle)];
  }
  // The handle's table object; a disconnected user is refused with EUserAccessError.
  // (Inline: every export starts here.)
  TVRVelmoraDB &TableOf(int32_t handle) {
    TUserRecord &user = UserOf(handle);
    if (!user.Table) RefuseDisconnected(handle);
    return *user.Table;
  }
  // One-line census of the registry, cut to 255 characters.
  std::string Stats() const;
  int32_t Count() const { return static_cast<int32_t>(users_.size()); }

  ~UserRegistry();

 private:
  UserRegistry();
  static uint32_t Slot(int32_t handle) { return static_cast<uint32_t>(handle) & 0xFFFFu; }
  [[noreturn]] static void RefuseHandle();
  [[noreturn]] static void RefuseDisconnected(int32_t handle);

  std::vector<std::unique_ptr<TUserRecord>> users_;
};

}  // namespace velmora
