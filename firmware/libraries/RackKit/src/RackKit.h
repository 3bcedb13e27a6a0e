// The parts every rack's sketch is built from.
#pragma once

#include "analog_inputs.h"
#include "calibrated_axes.h"
#include "idle.h"
#include "json_message.h"
#include "max7219_chain.h"
#include "panel_frames.h"
#include "panel_layouts.h"
#include "panel_state.h"
#include "panel_switch.h"
#include "quadrature_knob.h"
