# Compiles the help sources into the program's .chm: the pages are kept in UTF-8 in git and
# turned into GB18030 for the help viewer, which reads a Chinese help file in the Chinese code
# page. Run with -DSOURCE=<this folder> -DWORK=<scratch folder> -DOUTPUT=<.chm> -DCHMCMD=<chmcmd>.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB sources ${SOURCE}/*.html ${SOURCE}/*.hhc ${SOURCE}/*.hhk ${SOURCE}/*.hhp ${SOURCE}/*.css)
foreach(source ${sources})
  get_filename_component(name ${source} NAME)
  file(READ ${source} text)
  string(REPLACE "charset=utf-8" "charset=gb2312" text "${text}")
  file(WRITE ${WORK}/${name}.utf8 "${text}")
  execute_process(COMMAND iconv -f UTF-8 -t GB18030 ${WORK}/${name}.utf8
                  OUTPUT_FILE ${WORK}/${name} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot convert ${name} to GB18030")
  endif()
  file(REMOVE ${WORK}/${name}.utf8)
endforeach()
execute_process(COMMAND ${CHMCMD} --verbosity 0 help.hhp WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(failed OR NOT EXISTS ${WORK}/help.chm)
  message(FATAL_ERROR "chmcmd failed:\n${log}")
endif()
file(COPY_FILE ${WORK}/help.chm ${OUTPUT})
