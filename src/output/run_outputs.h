// What the main program, the driver and the catchment set-up call in the results
// output component: the water balance, the results store, the run output files, the
// end-of-run summary and the visualisation driver.
#pragma once

#include "output/end_of_run_summary.h"
#include "output/results_store.h"
#include "output/run_output_files.h"
#include "output/visualisation/visualisation_driver.h"
#include "output/water_balance.h"
