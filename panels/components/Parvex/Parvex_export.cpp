// The module's export: see Parvex_export.h.
#include "Parvex_export.h"

#include "Parvex.h"

vesk_client_callback* VESK_CDECL load_vesk_client_script(vesk_client_callback* host, const char* path) {
    return new Parvex(host, path);
}
