#pragma once

struct InstalledProduct;

// Sends the product's rotated logs ("PerfomanceLog" in its data folder, names like "Main.0001.log") to the
// account service, oldest first, one zip archive holding "data.log" per log. A log is removed only after its
// upload succeeded. A request time-out leaves as RequestFailure.
void uploadPerformanceLogs(const InstalledProduct& product);
