# The reliability suite: the real PDI killed at random moments, run side by side, fed generated
# command lines and install media, and laid out on long paths. Each part prints a
# "reliability figures:" line. The parts that run the install flow meet the Glue's fixed object
# names and HKLM keys, so they take the machine lock; their counts are chosen for CI's time
# (VX_RELIABILITY_KILLS, _CONCURRENT, _COMMAND_LINES, _MEDIA raise them for a soak).
vx_wine_test(NAME reliability_judge EXE test_reliability ARGS --gtest_filter=ReliabilityJudge.*:ReliabilityChild.*)
vx_wine_test(NAME reliability_kill EXE test_reliability SERIAL TIMEOUT 600 ARGS --gtest_filter=ReliabilityKill.*)
vx_wine_test(NAME reliability_load EXE test_reliability SERIAL TIMEOUT 300 ARGS --gtest_filter=ReliabilityLoad.*)
vx_wine_test(NAME reliability_command_lines EXE test_reliability SERIAL TIMEOUT 600
             ARGS --gtest_filter=ReliabilityCommandLine.*)
vx_wine_test(NAME reliability_command_lines_ja EXE test_reliability LOCALE ja_JP.UTF-8 SERIAL TIMEOUT 300
             ARGS --gtest_filter=ReliabilityCommandLine.*)
vx_wine_test(NAME reliability_media EXE test_reliability SERIAL TIMEOUT 600 ARGS --gtest_filter=ReliabilityMedia.*)
vx_wine_test(NAME reliability_paths EXE test_reliability SERIAL ARGS --gtest_filter=ReliabilityPaths.*)
