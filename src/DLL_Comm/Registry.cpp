#include "DLL_Comm/Registry.h"

#include <velmora/velmora.hpp>

#include "VRcomm/ShortString.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

UserRegistry &UserRegistry::Instance() {
  static UserRegistry registry;
  return registry;
}

UserRegistry::UserRegistry() { Connect(-1); }

UserRegistry::~UserRegistry() {
  // Tables that clients left open are closed so that their files are released
  // in order; every write has already reached its file, so nothing else is due.
  for (auto &user : users_) {
    if (user && user->Table && user->Table->IsOpen()) {
      try {
        user->Table->CloseTable();
      } catch (...) {
      }
    }
  }
}

int32_t UserRegistry::Connect(int32_t clientId) {
  auto user = std::make_unique<TUserRecord>();
  user->ClientId = clientId;
  user->Table = std::make_unique<TVRVelmoraDB>();
  users_.push_back(std::move(user));
  return Count() - 1;
}

void UserRegistry::RefuseHandle() { throw EUserAccessError("Invalid user handle for Velmora access"); }

void UserRegistry::RefuseDisconnected(int32_t handle) {
  throw EUserAccessError("User handle " + std::to_string(Slot(handle)) + " has been disconnected from Velmora");
}

void UserRegistry::Disconnect(int32_t handle) {
  TUserRecord &user = UserOf(handle);
  if (!user.Table) RefuseDisconnected(handle);
  user.ClientId = -1;
  std::unique_ptr<TVRVelmoraDB> table = std::move(user.Table);
  if (table->IsOpen()) table->CloseTable();
}

std::string UserRegistry::Stats() const {
  std::string text = std::to_string(users_.size());
  for (size_t i = 0; i < users_.size(); ++i) {
    text += std::to_string(i) + "/" + std::to_string(users_[i]->ClientId) + " " + users_[i]->TableName + " :";
    text = Cut255(std::move(text));
  }
  return text;
}

}  // namespace velmora
