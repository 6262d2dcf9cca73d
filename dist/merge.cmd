@echo off
rem Merges HISCORE.1 and HISCORE.2 in this folder into HISCORE.DAT and
rem shows all three files. Double-click it, or drop the two score files
rem on it, one at a time or both at once. It says Done, and exits 0, only
rem when the merge took both files whole. A dropped file's name is only
rem ever used in quotes, so that no character in it runs as a command.
setlocal
set status=1
rem The dropped files by full path, before the folder changes.
set "drop1=%~f1"
set "drop2=%~f2"
set "drop3=%~f3"
pushd "%~dp0"
if errorlevel 1 goto nofolder
set gone=
if not exist hiscore-merge.exe set gone=hiscore-merge.exe
if not exist hiscore-show.exe set gone=hiscore-show.exe
if defined gone goto gone
set n=0

:drop
set /a n+=1
set file=
if %n%==1 set "file=%drop1%"
if %n%==2 set "file=%drop2%"
if %n%==3 set "file=%drop3%"
if not defined file goto check
if exist HISCORE.1 if exist HISCORE.2 goto full
set name=HISCORE.1
if exist HISCORE.1 set name=HISCORE.2
copy "%file%" %name% >nul
if errorlevel 1 goto nocopy
echo Copied "%file%" as %name%.
goto drop

:check
set missing=
if not exist HISCORE.2 set missing=HISCORE.2
if not exist HISCORE.1 set missing=HISCORE.1
if defined missing goto missing
hiscore-show.exe --same HISCORE.1 HISCORE.2 >nul
if not errorlevel 1 goto same
set valid1=1
set valid2=1
hiscore-show.exe HISCORE.1 >nul
if errorlevel 1 set valid1=
hiscore-show.exe HISCORE.2 >nul
if errorlevel 1 set valid2=
set damaged=
set raw=
set expected=0
if not defined valid1 set raw=HISCORE.1
if not defined valid2 set raw=%raw% HISCORE.2
if defined raw set expected=1
if "%raw%"=="HISCORE.1 HISCORE.2" set expected=2
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
call :yes
if not defined yes goto stopped

rem The merger's messages and reason are kept in files of their own, to
rem be shown, and to count its alarms: one line each, after its three
rem messages. Any alarm but those of the damaged files means that a file
rem could not be read during the merge.
:merge
set "log=%TEMP%\hiscore-merge-%RANDOM%.txt"
hiscore-merge.exe >"%log%" 2>"%log%.err"
set code=%errorlevel%
set lines=0
for /f "usebackq delims=" %%l in ("%log%") do set /a lines+=1
set msg=
for /f "usebackq delims=" %%l in ("%log%.err") do set "msg=%%l"
echo.
type "%log%"
del "%log%" "%log%.err"
if not "%code%"=="0" goto failed
set /a alarms=lines-3
if not "%alarms%"=="%expected%" goto unread
if defined valid1 hiscore-show.exe HISCORE.1 >nul
if defined valid1 if errorlevel 1 goto unread
if defined valid2 hiscore-show.exe HISCORE.2 >nul
if defined valid2 if errorlevel 1 goto unread
echo.
if defined damaged echo Merged, with the game's built-in table in place of %damaged%.
if not defined damaged echo Done: HISCORE.DAT now holds the merged scores.
if not defined damaged set status=0
goto show

:unread
echo.
echo THE MERGE WENT WRONG: a score file that was valid could not be read
echo whole during the merge (another program may have held it), so the
echo game's built-in table took its place. Close the game and other
echo programs, and run merge.cmd again: HISCORE.1 and HISCORE.2 are unchanged.
goto show

:failed
echo.
if not defined msg set "msg=hiscore-merge.exe ended with status %code%"
echo THE MERGE FAILED: %msg%
if not "%msg:Device or resource busy=%"=="%msg%" echo Another program is using HISCORE.DAT: close the game or that program, and try again.
if "%msg:Permission denied=%"=="%msg%" goto show
set attributes=-
if exist HISCORE.DAT for %%f in (HISCORE.DAT) do set "attributes=%%~af"
if "%attributes:~1,1%"=="r" echo HISCORE.DAT is read-only: in its Properties, clear Read-only, and try again.
if not "%attributes:~1,1%"=="r" echo No new file may be made in this folder: move the folder to the Desktop, and try again.

:show
echo.
hiscore-show.exe HISCORE.1 HISCORE.2 HISCORE.DAT
goto end

:nofolder
echo merge.cmd cannot open its own folder: copy the folder to the Desktop
echo and start it there.
goto end

:gone
echo %gone% is missing from this folder: unpack the whole ZIP again.
goto end

:full
echo HISCORE.1 and HISCORE.2 are both here, so "%file%" was not copied.
echo Delete the one to replace, then drop the file on merge.cmd again.
goto end

:nocopy
echo Could not copy "%file%" as %name%.
goto end

:missing
echo Nothing was merged: %missing% is missing. Copy the score file into
echo this folder as %missing%, or drop it on merge.cmd.
goto end

:same
echo Nothing was merged: HISCORE.1 and HISCORE.2 hold the same rows, so
echo each score would be listed twice. Delete one of them, then drop the
echo other installation's score file on merge.cmd.
goto end

:stopped
if exist HISCORE.DAT echo Nothing was merged; HISCORE.DAT was left as it was.
if not exist HISCORE.DAT echo Nothing was merged.

:end
echo.
pause
exit /b %status%

rem Sets yes when the answer's first line, without the spaces around it,
rem is y or yes in any case. Some command interpreters read every line
rem that is left into the answer, so the first line is taken from the
rem output of set, and only ever used in quotes or as a for variable.
:yes
set yes=
set first=
set word=
set more=
if not defined answer goto :eof
for /f "tokens=1* delims==" %%a in ('set answer') do if not defined first set "first=%%b"
if not defined first goto :eof
set "first=%first:"=%"
for /f "tokens=1*" %%a in ("%first%") do (set "word=%%a" & set "more=%%b")
if defined more goto :eof
if /i "%word%"=="y" set yes=1
if /i "%word%"=="yes" set yes=1
goto :eof
