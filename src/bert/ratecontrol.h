// Rate control arithmetic: snapping the dial to standard rates and scaling the
// rate field to the unit each model expects in its set-rate command.
#pragma once
#include <QString>

#include "bert/models.h"

namespace bert {

// Snaps a dial value (kbit/s) lying strictly between two neighbouring table
// entries to the nearer one; a value on the midpoint goes to the lower entry.
int snapToStandardRate(int kbps, const RateTable &table);

// The set-rate command for a rate in Mbit/s, or a null string for models
// without a set-rate unit.
QString setRateCommand(const Model &model, double mbps);

// True when a rate in Mbit/s lies within one of the model's spans of standard
// rates (bounds included); otherwise false with the reason a user reads.
bool rateWithinModel(const Model &model, double mbps, QString *why);

// Bit period text of the low-rate model's custom field: decimals 1 or 3.
QString pulseWidthToolTip(double mbps, int decimals);

} // namespace bert
