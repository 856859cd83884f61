# Which test program runs as which Windows release, prefix and locale.
# Releases seen on Wine: win95 win98 winme nt40 win2k winxp winxp64 win2003 vista.

vx_wine_test(NAME install_log EXE test_install_log SERIAL)  # uses C:\TEMP
vx_wine_test(NAME glue_utils EXE test_glue_utils)
foreach(release win95 win98 winme nt40 win2k winxp win2003 vista)
  vx_wine_test(NAME glue_utils_${release} EXE test_glue_utils RELEASE ${release} ARGS --gtest_filter=GetOsType.*)
endforeach()
vx_wine_test(NAME pdi_entry EXE test_pdi_entry SERIAL)
vx_wine_test(NAME pdi_entry_ja EXE test_pdi_entry LOCALE ja_JP.UTF-8 SERIAL ARGS --gtest_filter=*CodePage932*)
vx_wine_test(NAME pdi_resources EXE test_pdi_resources)
# The installer's event has a fixed name: these runs take the machine lock.
vx_wine_test(NAME install_type EXE test_install_type SERIAL)
vx_wine_test(NAME install_type_win98 EXE test_install_type RELEASE win98 SERIAL)
vx_wine_test(NAME error_codes EXE test_error_codes)
vx_wine_test(NAME error_codes_he EXE test_error_codes LOCALE he_IL.UTF-8 ARGS --gtest_filter=ShowMessageBox.StylePassedOn:GetLastErrorMsg.BoxIsAnInformationBoxWithoutOwner)
vx_wine_test(NAME thread EXE test_thread)
vx_wine_test(NAME owners EXE test_owners)
vx_wine_test(NAME ipc_objects EXE test_ipc_objects ARGS --gtest_filter=-SpoolerMutex.*)
vx_wine_test(NAME ipc_objects_spooler EXE test_ipc_objects SERIAL ARGS --gtest_filter=SpoolerMutex.*)  # fixed name
vx_wine_test(NAME event_composite EXE test_event_composite)
# The library as other programs use it: exports, the DLL, the installed package, a consumer.
include(${CMAKE_CURRENT_SOURCE_DIR}/library_tests.cmake)
# OS identification on every release it tells apart; 64-bit Windows needs the 32-bit build (WOW64).
vx_wine_test(NAME os_version_winxp EXE test_os_version RELEASE winxp)
foreach(release win95 win98 winme nt40 win2k win2003 vista)
  vx_wine_test(NAME os_version_${release} EXE test_os_version RELEASE ${release} ARGS --gtest_filter=OsVersionOnThisRelease.*)
endforeach()
foreach(release winxp64 win2003)
  vx_wine_test(NAME os_version_${release}_64 EXE test_os_version RELEASE ${release} ARCH win64 ARGS --gtest_filter=OsVersionOnThisRelease.*)
endforeach()
# Device tree: Wine's own functions (also as other releases), the stand-in tree of
# tests/doubles (SERIAL: it adds a removable drive to the prefix), and libraries that cannot load.
vx_wine_test(NAME pnp_devices EXE test_pnp_devices ARGS --gtest_filter=UsbPortName.*:PnpBinding.*:PnpWine.*)
foreach(release winme nt40 win2k win2003)
  vx_wine_test(NAME pnp_devices_${release} EXE test_pnp_devices RELEASE ${release} ARGS --gtest_filter=PnpBinding.*)
endforeach()
vx_wine_test(NAME pnp_devices_win98 EXE test_pnp_devices RELEASE win98 ARGS --gtest_filter=PnpBinding.*:PnpWine9x.*)
vx_wine_test(NAME pnp_devices_double EXE test_pnp_devices SERIAL DRIVES ENV WINEDLLOVERRIDES=cfgmgr32,setupapi=n,b
             ARGS --gtest_filter=PnpDouble.*)
vx_wine_test(NAME pnp_devices_double_win98 EXE test_pnp_devices RELEASE win98 SERIAL DRIVES
             ENV WINEDLLOVERRIDES=cfgmgr32,setupapi=n,b ARGS --gtest_filter=PnpDouble9x.*)
vx_wine_test(NAME pnp_devices_no_cfgmgr32 EXE test_pnp_devices ENV WINEDLLOVERRIDES=cfgmgr32=d
             ARGS --gtest_filter=PnpNoCfgMgr.*)
vx_wine_test(NAME pnp_devices_no_setupapi EXE test_pnp_devices ENV WINEDLLOVERRIDES=setupapi=d
             ARGS --gtest_filter=PnpNoSetupApi.*)
# Ports: the monitor lookup only reads the spooler; the infrared name differs on Windows 9x.
vx_wine_test(NAME port EXE test_port)
vx_wine_test(NAME port_win98 EXE test_port RELEASE win98)
# Device data files: profile reader, qualified values, install-media checks, debug settings.
vx_wine_test(NAME profile_reader EXE test_profile_reader ARGS --gtest_filter=-ProfileCdRom.*)
vx_wine_test(NAME profile_reader_win98 EXE test_profile_reader RELEASE win98 ARGS --gtest_filter=ProfilePlatform.*:ProfileFreshness.*)
# A CD-ROM drive is added to the prefix for the run (machine state).
vx_wine_test(NAME profile_reader_cdrom EXE test_profile_reader SERIAL DRIVES ARGS --gtest_filter=ProfileCdRom.*)
vx_wine_test(NAME profile_reader_cdrom_win98 EXE test_profile_reader RELEASE win98 SERIAL DRIVES ARGS --gtest_filter=ProfileCdRom.*)
vx_wine_test(NAME profile_reader_nt40 EXE test_profile_reader RELEASE nt40 ARGS --gtest_filter=ProfilePlatform.*)
vx_wine_test(NAME profile_reader_ja EXE test_profile_reader RELEASE winxp LOCALE ja_JP.UTF-8 ARGS --gtest_filter=*CodePage932*)
# The reader's parse and the checker's scan against the parser the reader replaced.
vx_wine_test(NAME profile_differential EXE test_profile_differential)
vx_wine_test(NAME profile_differential_ja EXE test_profile_differential LOCALE ja_JP.UTF-8)
# Localized strings: the resource library (copied beside the test as "<program>.dll") and a
# module with a string table of its own.
foreach(strings library module)
  add_library(vxtest_strings_${strings} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/resources/string_dll.c
              ${CMAKE_CURRENT_SOURCE_DIR}/resources/strings_${strings}.rc)
  set_target_properties(vxtest_strings_${strings} PROPERTIES PREFIX "")
  add_dependencies(test_qualified_values vxtest_strings_${strings})
endforeach()
vx_wine_test(NAME qualified_values EXE test_qualified_values)
vx_wine_test(NAME qualified_values_win98 EXE test_qualified_values RELEASE win98 ARGS --gtest_filter=Qualifiers.*:GetValueByOS.*:LoadStringList.*:GetValueByQualifier.*)
vx_wine_test(NAME qualified_values_nt40 EXE test_qualified_values RELEASE nt40 ARGS --gtest_filter=Qualifiers.*:GetValueByOS.*)
vx_wine_test(NAME qualified_values_ja EXE test_qualified_values RELEASE win2k LOCALE ja_JP.UTF-8 ARGS --gtest_filter=*CodePage932*:Qualifiers.*:GetValueByOS.*)
vx_wine_test(NAME media_checks EXE test_media_checks)
vx_wine_test(NAME media_checks_ja EXE test_media_checks RELEASE winxp LOCALE ja_JP.UTF-8 ARGS --gtest_filter=*CodePage932*:GetAutorunInfPath.*)
vx_wine_test(NAME command_line EXE test_command_line)
vx_wine_test(NAME command_line_ja EXE test_command_line RELEASE winxp LOCALE ja_JP.UTF-8 ARGS --gtest_filter=*CodePage932*:SplitCommandLine.*)
# Benchmark of the cached profile reader (prints figures; not a test).
add_executable(bench_profile ${CMAKE_CURRENT_SOURCE_DIR}/bench/bench_profile.cpp)
target_link_libraries(bench_profile PRIVATE vxinfra)
target_include_directories(bench_profile PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(bench_profile PRIVATE ${VX_WARNINGS})
# Device models, the factory and its language map. The model and INF sections differ between
# the NT family and Windows 9x; the language map is checked on a Spanish and a Japanese system.
vx_wine_test(NAME device_model EXE test_device_model)
foreach(release win98 nt40 win2k)
  vx_wine_test(NAME device_model_${release} EXE test_device_model RELEASE ${release})
endforeach()
vx_wine_test(NAME device_model_ja EXE test_device_model LOCALE ja_JP.UTF-8 ARGS --gtest_filter=*CodePage932*)
vx_wine_test(NAME factory EXE test_factory ARGS --gtest_filter=-FactoryMachine.*)
# On 9x files below 65500 bytes go to the system's profile function, which opens the file for
# every value: the many-model loads, and the out-of-memory test's load per allocation, take
# minutes there and run on NT only.
vx_wine_test(NAME factory_win98 EXE test_factory RELEASE win98
             ARGS --gtest_filter=-FactoryMachine.*:*GeneratedMedium*:*LargeModelsSections*:*OutOfMemory*)
# The Windows directory's data files, vxzdbginfs.ini and the PDI's named objects are machine-wide.
vx_wine_test(NAME factory_machine EXE test_factory SERIAL ARGS --gtest_filter=FactoryMachine.*)
vx_wine_test(NAME language_map EXE test_language_map ARGS --gtest_filter=-LanguageMapMachine.*)
vx_wine_test(NAME language_map_es EXE test_language_map LOCALE es_ES.UTF-8 ARGS --gtest_filter=-LanguageMapMachine.*)
vx_wine_test(NAME language_map_ja EXE test_language_map LOCALE ja_JP.UTF-8 ARGS --gtest_filter=-LanguageMapMachine.*)
vx_wine_test(NAME language_map_machine EXE test_language_map SERIAL ARGS --gtest_filter=LanguageMapMachine.*)
# Printers: drivers and printers are installed into the spooler for the run (machine state).
vx_wine_test(NAME printer EXE test_printer SERIAL)
vx_wine_test(NAME printer_win98 EXE test_printer RELEASE win98 SERIAL)
# Spooler walks: the test's own printers and drivers are installed in the machine's spooler.
vx_wine_test(NAME spooler_enum EXE test_spooler_enum SERIAL)
vx_wine_test(NAME spooler_enum_win98 EXE test_spooler_enum RELEASE win98 SERIAL ARGS --gtest_filter=Spooler.*:SpoolerNoPrinters.*)
# The default-printer offer: the test program carries the PDI's string table and runs copies
# of itself from a scratch medium; the spooler's default printer is machine state.
target_sources(test_default_printer PRIVATE ${CMAKE_SOURCE_DIR}/pdi/pdi.rc)
vx_wine_test(NAME default_printer EXE test_default_printer SERIAL ARGS --gtest_filter=DefaultPrinterChild.*:DefaultPrinterEnglish.*:DefaultPrinterBinding.*)
vx_wine_test(NAME default_printer_es EXE test_default_printer LOCALE es_ES.UTF-8 SERIAL ARGS --gtest_filter=DefaultPrinterSpanish.*)
vx_wine_test(NAME default_printer_ja EXE test_default_printer LOCALE ja_JP.UTF-8 SERIAL ARGS --gtest_filter=DefaultPrinterJapanese.*)
vx_wine_test(NAME trace_log EXE test_trace_log)
vx_wine_test(NAME trace_log_ja EXE test_trace_log LOCALE ja_JP.UTF-8 ARGS --gtest_filter=TraceNaming.*)
vx_wine_test(NAME registry EXE test_registry ARGS --gtest_filter=-RegistryMachineWide.*)
vx_wine_test(NAME registry_machine EXE test_registry SERIAL ARGS --gtest_filter=RegistryMachineWide.*)  # real HKLM
# The whole flow against real HKLM keys and the Glue's fixed object names.
vx_wine_test(NAME install_flow EXE test_install_flow SERIAL TIMEOUT 600 ARGS --gtest_filter=-*TimesOut)
vx_wine_test(NAME install_flow_long EXE test_install_flow SERIAL TIMEOUT 400 ENV VX_LONG_TESTS=1
             ARGS --gtest_filter=*TimesOut)
# A hanging patch costs the PDI its ten-minute wait: too long for every run, so only a build
# configured with -DVX_SOAK_TESTS=ON has it.
if(VX_SOAK_TESTS)
  vx_wine_test(NAME install_flow_patch_hang EXE test_install_flow SERIAL TIMEOUT 1500 ENV VX_SOAK_TESTS=1
               ARGS --gtest_filter=*HangingPatch*)
endif()
vx_wine_test(NAME pdi_medium EXE test_pdi_medium)
vx_wine_test(NAME pdi_medium_win98 EXE test_pdi_medium RELEASE win98 ARGS --gtest_filter=*Windows98*:*SilentInstallOnly*)
vx_wine_test(NAME pdi_medium_es EXE test_pdi_medium LOCALE es_ES.UTF-8 ARGS --gtest_filter=*Spanish*)

vx_wine_test(NAME release_facts EXE test_release_facts RELEASE winxp)
# The medium checker as it ships. The agreement part runs the real PDI against real Glue keys,
# once per system language.
vx_wine_test(NAME medcheck EXE test_medcheck ARGS --gtest_filter=MedCheck.* ENV "VX_MEDCHECK_EXE=$<TARGET_FILE:vxmedcheck>")
foreach(locale en_US es_ES)
  vx_wine_test(NAME medcheck_agreement_${locale} EXE test_medcheck SERIAL TIMEOUT 600 LOCALE ${locale}.UTF-8
               ARGS --gtest_filter=MedCheckAgreement.* ENV "VX_MEDCHECK_EXE=$<TARGET_FILE:vxmedcheck>")
endforeach()
include(${CMAKE_SOURCE_DIR}/tools/vxmedcheck/units.cmake)
target_link_libraries(test_medcheck PRIVATE vxmedcheck_units)
target_link_libraries(test_profile_differential PRIVATE vxmedcheck_units)
add_dependencies(test_medcheck vxmedcheck sample_medium)
# What the shipped tools do alike: their option parser, --help and --version, and no file left
# in the temporary folder.
include(${CMAKE_SOURCE_DIR}/tools/common/common.cmake)
target_link_libraries(test_shipped_tools PRIVATE vxtool_common)
add_dependencies(test_shipped_tools vxmedcheck vxlogview sample_medium)
vx_wine_test(NAME shipped_tools EXE test_shipped_tools
             ENV "VX_MEDCHECK_EXE=$<TARGET_FILE:vxmedcheck>" "VX_LOGVIEW_EXE=$<TARGET_FILE:vxlogview>")
# The log viewer: its table against the PDI's sources, bad input, and real runs of the PDI
# explained (real HKLM keys and fixed names). The first run keeps an HTML report of a successful
# and of a failed run, which the browser check then opens (Linux side: a browser in Wine's reach
# would need a Windows build).
include(${CMAKE_SOURCE_DIR}/tools/vxlogview/units.cmake)
target_sources(test_log_analyzer PRIVATE ${VXLOGVIEW_UNIT_SOURCES})
target_include_directories(test_log_analyzer PRIVATE ${VXLOGVIEW_INCLUDE_DIRS})
add_dependencies(test_log_analyzer vxlogview)
vx_wine_test(NAME log_analyzer EXE test_log_analyzer SERIAL ENV VX_LOGVIEW_EXE=$<TARGET_FILE:vxlogview>
             ARGS --gtest_filter=-*TooLong)
set_tests_properties(log_analyzer PROPERTIES FIXTURES_SETUP logview_reports)
vx_wine_test(NAME log_analyzer_long EXE test_log_analyzer SERIAL TIMEOUT 400
             ENV VX_LONG_TESTS=1 VX_LOGVIEW_EXE=$<TARGET_FILE:vxlogview> ARGS --gtest_filter=*TooLong)
find_program(VX_CHROMIUM NAMES chromium PATHS /usr/bin)
if(NOT VX_CHROMIUM)
  set(VX_CHROMIUM /usr/bin/chromium)  # scripts/setup.sh installs it; the check says so when it is missing
endif()
add_test(NAME log_analyzer_browser COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/logview_browser.sh ${VX_CHROMIUM} ${CMAKE_BINARY_DIR}/logview)
set_tests_properties(log_analyzer_browser PROPERTIES FIXTURES_REQUIRED logview_reports TIMEOUT 300)
# 64-bit Windows: the 32-bit PDI beside a 64-bit Glue, whose values are in either registry view;
# and on 32-bit Windows, where nothing may differ.
foreach(release winxp64 win2003)
  vx_wine_test(NAME glue_view_${release}_64 EXE test_glue_view RELEASE ${release} ARCH win64 SERIAL
               ARGS --gtest_filter=*GlueView64.*)
endforeach()
vx_wine_test(NAME glue_view EXE test_glue_view SERIAL ARGS --gtest_filter=GlueView32.*)
# Benchmark, not a test: the viewer on hostile lines and a 64 MB log of them, the checker on a
# section of many keys.
add_executable(bench_tools ${CMAKE_CURRENT_SOURCE_DIR}/bench/bench_tools.cpp ${VXLOGVIEW_UNIT_SOURCES})
target_include_directories(bench_tools PRIVATE ${VXLOGVIEW_INCLUDE_DIRS})
target_link_libraries(bench_tools PRIVATE vxtest_support vxmedcheck_units)
target_compile_options(bench_tools PRIVATE ${VX_WARNINGS})
