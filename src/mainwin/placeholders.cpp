#include "mainwin/placeholders.h"
#include "core/neighbour_services.h"
#include "mainwin/main_window.h"

void NotAvailableYet(const std::string& caption) { ShowStatusLine1(caption + NotAvailableSuffix); }

// ---- menu items ----

// ---- routines of the graph and of the modules ----
