// The numerical library in one include: shared arrays, random numbers, interpolation, local
// analysis, line fits, smoothers, array tools and the Fourier transform.
#pragma once
#include "core/array_tools.h"
#include "core/fourier_transform.h"
#include "core/interpolation.h"
#include "core/line_fits.h"
#include "core/local_analysis.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "core/smoothers.h"
