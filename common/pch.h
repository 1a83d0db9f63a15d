// Precompiled headers shared by all targets: the Qt headers that nearly every unit includes.
#pragma once
#include <QtCore>
#include <QtGui>
#include <QtWidgets>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
