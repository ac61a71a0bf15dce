#include "app/TarnvaleApplication.h"

START_JUCE_APPLICATION(TarnvaleApplication)
