# Documentation compressed as Debian installs it: gzip -9, without a name or
# time stamp, so that the same source always gives the same bytes.
#   ruvo_compressed(SOURCE OUTPUT) adds the command that writes OUTPUT.
function(ruvo_compressed source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()
