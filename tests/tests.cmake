# Which test program runs as which Windows release, prefix and locale.
# Releases seen on Wine: win95 win98 winme nt40 win2k winxp winxp64 win2003 vista.

vx_wine_test(NAME install_log EXE test_install_log SERIAL)
vx_wine_test(NAME glue_utils EXE test_glue_utils)
vx_wine_test(NAME pdi_entry EXE test_pdi_entry SERIAL)
