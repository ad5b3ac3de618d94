// The report of the audio codecs this machine offers.
#pragma once

// Shows the report modally; 1 when it has closed.
int ShowCoderInfor();
