// Everything of the Halvane library in one include.
#pragma once

#include "components/autocomplete/autocomplete.h"
#include "components/calendar/calendar.h"
#include "components/compat/browser_compat.h"
#include "components/popupmenu/popupmenu.h"
#include "components/progressbar/progressbar.h"
#include "components/tabs/tabs.h"
#include "components/tree/tree.h"
#include "core/date_text.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/number_text.h"
#include "core/variant.h"
