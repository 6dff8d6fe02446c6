#pragma once

class KWebClient;

// The one web client of the process, owned by start-up; null before it exists and again once
// start-up has let it go. Readable from any thread.
KWebClient *webClient();
void setWebClient(KWebClient *client);
