// A parameter's value in the words the host shows it in, and the reading of a value typed in
// those same units. Pure functions of the parameter; any thread that may read it.
#pragma once

class IParam;

// "Name display label" as the wrappers give them to the host ("Gain 0.50 %"), for the normalised
// value; the label is left out when empty or when the value has a display text of its own.
// Cut to size - 1 characters; an empty string without a parameter.
void ValueReadoutText(const IParam* param, double normalized, char* out, int size);

// Reads text typed in the units the readout shows: a number, optionally followed by the label
// (in any case), or, for a parameter with display texts, one of them exactly. Surrounding spaces
// are ignored. On success *value is the real value clamped into the parameter's range; garbage,
// an empty text and numbers that are not finite answer false and leave *value alone.
bool ParseTypedValue(const IParam* param, const char* text, double* value);
