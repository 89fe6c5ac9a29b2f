#include "service/Endpoints.h"

namespace mojian {

const char* ServiceUrl() { return MOJIAN_SERVICE_URL; }
const char* ProbeUrl() { return MOJIAN_PROBE_URL; }

}  // namespace mojian
