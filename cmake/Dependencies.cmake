# Every third-party library the project uses, found once here so that module CMakeLists only link
# the imported targets. All come from Debian packages installed by scripts/bootstrap.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
pkg_check_modules(CRYPTO REQUIRED IMPORTED_TARGET libcrypto)
pkg_check_modules(CAIRO IMPORTED_TARGET cairo pangocairo)
pkg_check_modules(SECRET IMPORTED_TARGET libsecret-1)
pkg_check_modules(GIO IMPORTED_TARGET gio-2.0)
pkg_check_modules(TURBOJPEG IMPORTED_TARGET libturbojpeg)
pkg_check_modules(SPNG IMPORTED_TARGET spng)
pkg_check_modules(X264 IMPORTED_TARGET x264)
pkg_check_modules(AV IMPORTED_TARGET libavformat libavcodec libavutil)
pkg_check_modules(TESSERACT IMPORTED_TARGET tesseract)
find_package(nlohmann_json 3.10 REQUIRED)

# libyuv ships no pkg-config file.
find_library(YUV_LIBRARY yuv)
find_path(YUV_INCLUDE_DIR libyuv.h)

find_package(GTest REQUIRED)
find_package(benchmark QUIET)

include(GoogleTest)

# vedevave_add_library(Name [PUBLIC_LIBS ...]): the static library of one Sources/ folder, built
# from every .cpp below it except main.cpp. Headers are included as "Module/Header.h" from Sources/.
function(vedevave_add_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  # A folder's main.cpp is its executable's entry point, never part of the library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    # A module whose first sources have not landed yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/Sources)
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC_LIBS} ${ARG_PRIVATE_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/Sources)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# vedevave_add_test(Name LIBS ...): one GoogleTest executable from every .cpp in the calling folder;
# each test case becomes a CTest test, listed when the tests run rather than at build time.
function(vedevave_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/Sources)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "VEDEVAVE_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
endfunction()
