#include "SecretItems.h"

#include <libsecret/secret.h>

#include <memory>
#include <vector>

namespace keyring {

namespace {

struct GErrorFree {
  void operator()(GError* i_p) const { g_error_free(i_p); }
};
struct GObjectUnref {
  void operator()(void* i_p) const { g_object_unref(i_p); }
};
struct GHashTableUnref {
  void operator()(GHashTable* i_p) const { g_hash_table_unref(i_p); }
};
struct SecretValueUnref {
  void operator()(SecretValue* i_p) const { secret_value_unref(i_p); }
};
struct GFree {
  void operator()(void* i_p) const { g_free(i_p); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using ServicePtr = std::unique_ptr<SecretService, GObjectUnref>;
using ItemPtr = std::unique_ptr<SecretItem, GObjectUnref>;
using AttributesPtr = std::unique_ptr<GHashTable, GHashTableUnref>;
using ValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;
using TextPtr = std::unique_ptr<char, GFree>;

// Items are found by their attributes alone, whoever stored them (secret-tool too): the
// schema's name is not matched.
const SecretSchema& Schema() {
  static const SecretSchema schema = [] {
    SecretSchema s{};
    s.name = "org.zezar.RouterPassword";
    s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    s.attributes[0] = {"application", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[1] = {"router", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[2] = {"role", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return s;
  }();
  return schema;
}

// The strings stay with the caller, alive while the table is.
AttributesPtr Attributes(const std::string& i_strWhere, Role i_role) {
  AttributesPtr attributes(g_hash_table_new(g_str_hash, g_str_equal));
  g_hash_table_insert(attributes.get(), const_cast<char*>("application"),
                      const_cast<char*>(kApplication));
  g_hash_table_insert(attributes.get(), const_cast<char*>("router"),
                      const_cast<char*>(i_strWhere.c_str()));
  g_hash_table_insert(attributes.get(), const_cast<char*>("role"),
                      const_cast<char*>(RoleAttribute(i_role)));
  return attributes;
}

std::string Message(const ErrorPtr& i_error) {
  return i_error && i_error->message != nullptr ? i_error->message : "the keyring failed";
}

ServicePtr Service(std::string& o_strProblem) {
  GError* pError = nullptr;
  ServicePtr service(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &pError));
  if (!service) o_strProblem = Message(ErrorPtr(pError));
  return service;
}

std::vector<ItemPtr> Search(SecretService* i_pService, const Item& i_item, bool i_bUnlock,
                            std::string& o_strProblem) {
  const AttributesPtr attributes = Attributes(i_item.where, i_item.role);
  const auto flags = static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS |
                                                    (i_bUnlock ? SECRET_SEARCH_UNLOCK : 0));
  GError* pError = nullptr;
  GList* pList =
      secret_service_search_sync(i_pService, &Schema(), attributes.get(), flags, nullptr, &pError);
  if (pError != nullptr) o_strProblem = Message(ErrorPtr(pError));
  std::vector<ItemPtr> items;
  for (GList* pEntry = pList; pEntry != nullptr; pEntry = pEntry->next)
    items.emplace_back(static_cast<SecretItem*>(pEntry->data));
  g_list_free(pList);
  return items;
}

Found Newest(std::vector<ItemPtr>& io_items) {
  Found found;
  found.items = static_cast<int>(io_items.size());
  SecretItem* pNewest = nullptr;
  for (const ItemPtr& item : io_items) {
    if (pNewest == nullptr ||
        secret_item_get_modified(item.get()) > secret_item_get_modified(pNewest) ||
        (secret_item_get_modified(item.get()) == secret_item_get_modified(pNewest) &&
         secret_item_get_created(item.get()) > secret_item_get_created(pNewest)))
      pNewest = item.get();
  }
  if (pNewest == nullptr) return found;
  const TextPtr label(secret_item_get_label(pNewest));
  if (label) found.label = label.get();
  const ValuePtr value(secret_item_get_secret(pNewest));
  if (!value) {
    found.locked = secret_item_get_locked(pNewest) != FALSE;
    return found;
  }
  const char* pText = secret_value_get_text(value.get());
  if (pText == nullptr) {
    found.notText = true;
  } else {
    found.password = pText;
  }
  return found;
}

}  // namespace

Answer SearchHere(const std::string& i_strWhere, Unlock i_unlock) {
  Answer answer;
  const ServicePtr service = Service(answer.problem);
  if (!service) return answer;
  for (Role role : {Role::Admin, Role::User}) {
    std::vector<ItemPtr> items =
        Search(service.get(), {i_strWhere, role}, i_unlock == Unlock::Prompt, answer.problem);
    if (!answer.problem.empty()) return Answer::Failed(answer.problem);
    (role == Role::Admin ? answer.admin : answer.user) = Newest(items);
  }
  return answer;
}

std::string StoreHere(const Item& i_item, const std::string& i_strPassword) {
  const AttributesPtr attributes = Attributes(i_item.where, i_item.role);
  GError* pError = nullptr;
  if (!secret_password_storev_sync(&Schema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                   Label(i_item).c_str(), i_strPassword.c_str(), nullptr, &pError))
    return Message(ErrorPtr(pError));
  return {};
}

Forgotten ForgetHere(const Item& i_item) {
  Forgotten forgotten;
  const ServicePtr service = Service(forgotten.problem);
  if (!service) return forgotten;
  const std::vector<ItemPtr> items = Search(service.get(), i_item, true, forgotten.problem);
  for (const ItemPtr& item : items) {
    if (!forgotten.problem.empty()) break;
    GError* pError = nullptr;
    if (secret_item_delete_sync(item.get(), nullptr, &pError)) {
      ++forgotten.items;
    } else {
      forgotten.problem = Message(ErrorPtr(pError));
    }
  }
  return forgotten;
}

}  // namespace keyring
