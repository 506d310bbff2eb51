// The fake profile store keeps the contract the Win32 store keeps under Wine.
#include "fakes/profile_store_fake.h"
#include "profile_store_contract.h"

namespace morvane {
namespace {

struct FakeEnv {
  FakeProfileStore fake;
  ProfileStore& store() { return fake; }
  std::string path(std::string_view name) { return "C:\\fake\\" + std::string(name); }
  std::string missingDirectoryPath() { return "C:\\nowhere\\配置.ini"; }
  void writeRaw(const std::string& path, std::string_view bytes) { fake.putFile(path, bytes); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, ProfileStoreContract, FakeEnv);

}  // namespace
}  // namespace morvane
