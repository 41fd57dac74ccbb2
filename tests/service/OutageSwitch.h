#pragma once

#include "service/RecordedRequest.h"
#include "service/ServiceEndpoints.h"

// "Hang, then come back": a service that stops answering its web client and later recovers,
// for the application's behaviour through an outage.
namespace orvi::test::pages {

// From now on every request to the web host is held without an answer, until the process
// gets SIGUSR1; requests after that are answered as usual.
void hangUntilSignalled();
bool holdsRequest(const RecordedRequest& request, const ServiceEndpoints& endpoints);

} // namespace orvi::test::pages
