@echo off
rem Merges HISCORE.1 and HISCORE.2 in this folder into HISCORE.DAT and
rem shows all three files. Double-click it, or drop the two score files
rem on it, one at a time or both at once. Exits 0 only when it says Done.
setlocal
cd /d "%~dp0"
set status=1

:drop
if "%~1"=="" goto check
if exist HISCORE.1 if exist HISCORE.2 goto full
set name=HISCORE.1
if exist HISCORE.1 set name=HISCORE.2
copy "%~1" %name% >nul
if errorlevel 1 goto nocopy
echo Copied %~1 as %name%.
shift
goto drop

:check
set missing=
if not exist HISCORE.2 set missing=HISCORE.2
if not exist HISCORE.1 set missing=HISCORE.1
if defined missing goto missing
set damaged=
set raw=
hiscore-show.exe HISCORE.1 >nul
if errorlevel 1 set raw=HISCORE.1
hiscore-show.exe HISCORE.2 >nul
if errorlevel 1 set raw=%raw% HISCORE.2
if not defined raw goto merge
set damaged=%raw%
if "%raw%"==" HISCORE.2" set damaged=HISCORE.2
if "%raw%"=="HISCORE.1 HISCORE.2" set damaged=HISCORE.1 and HISCORE.2
echo.
hiscore-show.exe --raw %raw%
echo.
echo DAMAGED: %damaged%, as shown above. The merge would put the game's
echo built-in table in its place, and its scores would not be in the result.
set answer=
set /p answer=Merge anyway? [y/N] 
if /i not "%answer%"=="y" goto stopped

:merge
set msg=
for /f "delims=" %%l in ('hiscore-merge.exe 2^>^&1 ^>nul') do set "msg=%%l"
if defined msg goto failed
echo.
if defined damaged echo Merged, with the game's built-in table in place of %damaged%.
if not defined damaged echo Done: HISCORE.DAT now holds the merged scores.
if not defined damaged set status=0
goto show

:failed
echo.
echo THE MERGE FAILED: %msg%
if not "%msg:Permission denied=%"=="%msg%" echo HISCORE.DAT is read-only: in its Properties, clear Read-only, and try again.
if not "%msg:Device or resource busy=%"=="%msg%" echo Another program is using HISCORE.DAT: close the game or that program, and try again.

:show
echo.
hiscore-show.exe HISCORE.1 HISCORE.2 HISCORE.DAT
goto end

:full
echo HISCORE.1 and HISCORE.2 are both here, so %~1 was not copied.
echo Delete the one to replace, then drop the file on merge.cmd again.
goto end

:nocopy
echo Could not copy %~1 as %name%.
goto end

:missing
echo Nothing was merged: %missing% is missing. Copy the score file into
echo this folder as %missing%, or drop it on merge.cmd.
goto end

:stopped
echo Nothing was merged; HISCORE.DAT was left as it was.

:end
echo.
pause
exit /b %status%
