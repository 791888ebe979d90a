@echo off
rem A whole Tolvane run in under a minute: three workers with known exit
rem codes start beside Tolvane, which this batch starts with "start /realtime"
rem from beside it. Press Esc in Tolvane's window once the workers have ended.
rem
rem   run-example.bat [Tolvane options]
rem
rem The workers wait with ping, which needs no console input and is on every
rem Windows; the log lands beside Tolvane.exe.
setlocal
set "here=%~dp0"
if not exist "%here%Tolvane.exe" (
  echo run-example.bat: Tolvane.exe is not beside this file
  exit /b 1
)

rem The name Tolvane will choose: the first number no earlier log has taken.
set n=0
:next_log
if exist "%here%Tolvane%n%.log" (
  set /a n+=1
  goto next_log
)
set "log=%here%Tolvane%n%.log"

echo Three workers start now; Tolvane lists them with a * while they run:
echo   ping for 2 s, then exit code 3
echo   ping for 4 s, then exit code 5
echo   ping for 8 s, then exit code 0
echo Press Esc in Tolvane's window once they have all ended.

start "worker 3" /b cmd /c "ping -n 3 127.0.0.1 >nul & exit 3"
start "worker 5" /b cmd /c "ping -n 5 127.0.0.1 >nul & exit 5"
start "worker 0" /b cmd /c "ping -n 9 127.0.0.1 >nul"
start "Tolvane" /realtime /wait "%here%Tolvane.exe" %*
set code=%errorlevel%

echo.
echo Tolvane ended with exit code %code%. Its log, %log%:
if exist "%log%" type "%log%"
exit /b %code%
