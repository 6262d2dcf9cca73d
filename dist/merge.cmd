@echo off
rem Merges HISCORE.1 and HISCORE.2 in this folder into HISCORE.DAT and
rem shows all three files. Double-click it.
setlocal
cd /d "%~dp0"
if not exist HISCORE.1 goto missing
if not exist HISCORE.2 goto missing
hiscore-merge.exe
if errorlevel 1 goto failed
echo.
echo Done: HISCORE.DAT now holds the merged scores.
goto show
:failed
echo.
echo THE MERGE FAILED: see the message above.
:show
echo.
hiscore-show.exe HISCORE.1 HISCORE.2 HISCORE.DAT
goto end
:missing
echo Nothing was merged: copy the two score files to merge into this folder
echo as HISCORE.1 and HISCORE.2, then run merge.cmd again.
:end
echo.
pause
