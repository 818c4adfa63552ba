# One interface target carries the language level, warnings and Qt defines for our own code.
add_library(lumisift_options INTERFACE)
target_compile_features(lumisift_options INTERFACE cxx_std_20)
target_compile_options(lumisift_options INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
target_compile_definitions(lumisift_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS)

if(LUMISIFT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(LUMISIFT_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LUMISIFT_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined
    -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/tests/fuzz/coverage-ignore.txt)
  add_link_options(-fsanitize=address,undefined)
endif()

# Precompiled headers: the standard, Qt and GoogleTest headers that most units include, so
# each target parses them once instead of once per unit.
#   lumisift_precompile(TARGET STD|CORE|GUI [TEST])
# STD: the standard library only; CORE: and Qt Core; GUI: and Qt Widgets; TEST adds
# GoogleTest and Qt Test.
set(LUMISIFT_PCH_STD <algorithm> <cstdint> <cstring> <functional> <map> <memory> <optional>
  <stdexcept> <string> <string_view> <vector>)
set(LUMISIFT_PCH_CORE <QByteArray> <QDir> <QFile> <QObject> <QString> <QStringList> <QTimer>)
set(LUMISIFT_PCH_GUI <QImage> <QLabel> <QLineEdit> <QPainter> <QPushButton> <QWidget>)
set(LUMISIFT_PCH_TEST <gtest/gtest.h> <gmock/gmock.h> <QTemporaryDir> <QTest>)

function(lumisift_precompile target level)
  set(headers ${LUMISIFT_PCH_STD})
  if(level STREQUAL "CORE" OR level STREQUAL "GUI")
    list(APPEND headers ${LUMISIFT_PCH_CORE})
  endif()
  if(level STREQUAL "GUI")
    list(APPEND headers ${LUMISIFT_PCH_GUI})
  endif()
  if("TEST" IN_LIST ARGN)
    list(APPEND headers ${LUMISIFT_PCH_TEST})
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
