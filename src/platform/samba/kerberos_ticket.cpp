#include "platform/samba/kerberos_ticket.h"

#include <dlfcn.h>

#include "platform/samba/library_call.h"

namespace quillmot {

namespace {

// The handful of calls needed, with the library's types left opaque: MIT (libkrb5.so.3, which
// kinit of krb5-user uses) and Heimdal (libkrb5.so.26) share these signatures.
using Context = void*;
using Cache = void*;
using Principal = void*;
using InitContext = int (*)(Context*);
using FreeContext = void (*)(Context);
using DefaultName = const char* (*)(Context);
using ResolveCache = int (*)(Context, const char*, Cache*);
using GetPrincipal = int (*)(Context, Cache, Principal*);
using FreePrincipal = void (*)(Context, Principal);
using CloseCache = int (*)(Context, Cache);

}  // namespace

std::string default_ticket_cache() {
  void* library = nullptr;
  for (const char* file : {"libkrb5.so.3", "libkrb5.so.26"})
    if ((library = dlopen(file, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
  if (library == nullptr) return {};
  auto init_context = library_call<InitContext>(library, "krb5_init_context");
  auto free_context = library_call<FreeContext>(library, "krb5_free_context");
  auto default_name = library_call<DefaultName>(library, "krb5_cc_default_name");
  auto resolve = library_call<ResolveCache>(library, "krb5_cc_resolve");
  auto get_principal = library_call<GetPrincipal>(library, "krb5_cc_get_principal");
  auto free_principal = library_call<FreePrincipal>(library, "krb5_free_principal");
  auto close_cache = library_call<CloseCache>(library, "krb5_cc_close");
  std::string found;
  Context context = nullptr;
  if (init_context && free_context && default_name && resolve && get_principal && free_principal &&
      close_cache && init_context(&context) == 0) {
    const char* name = default_name(context);
    Cache cache = nullptr;
    if (name != nullptr && resolve(context, name, &cache) == 0) {
      Principal principal = nullptr;
      if (get_principal(context, cache, &principal) == 0) {
        found = name;
        free_principal(context, principal);
      }
      close_cache(context, cache);
    }
    free_context(context);
  }
  // Unloading a Kerberos library that has registered its plug-ins is not safe; it stays mapped.
  return found;
}

}  // namespace quillmot
