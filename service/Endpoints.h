// Where the program finds the maker's service and how it probes the network.
// Both are fixed when the program is built (the MOJIAN_ENDPOINTS setting):
// a release build asks the maker's public service, a local build (the
// default, for running and testing here) asks the service on this machine.
#pragma once

namespace mojian {

// The http address of the settings query, path "/asp/kwel/index.asp".
const char* ServiceUrl();

// The address the connectivity probe tries before any exchange.
const char* ProbeUrl();

}  // namespace mojian
