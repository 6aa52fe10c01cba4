// The device's page: noVNC shows and touches the screen; the console's controls, state and
// timeline go through the page's server, which checks the console's token on every request.
import RFB from '/novnc/core/rfb.js';

// The server put the token in the page it served to a holder of it, for the header a change
// needs; the cookie it set carries reloads, so the token leaves the address bar and the history.
const token = document.querySelector('meta[name="device-token"]').content;
if (location.search) history.replaceState(null, '', location.pathname);
const $ = (id) => document.getElementById(id);

// One line says how things stand; the worst news wins.
const status = { server: true, console: '', screen: 'connecting to the device\'s screen…', tabs: 1 };
function showStatus() {
    let text = 'the device\'s screen, live: click, press or drag where a finger would touch';
    let trouble = true;
    if (!status.server) text = 'the device has stopped: its page server does not answer (start it again: ./run device --web)';
    else if (status.console) text = 'the console does not answer (' + status.console + '); retrying…';
    else if (status.screen) text = status.screen;
    else trouble = false;
    if (status.server && status.tabs > 1) text += ' · another tab is open on this device too: both can touch and control it';
    $('line').textContent = text;
    $('line').classList.toggle('trouble', trouble);
}

async function api(path, options = {}) {
    const headers = Object.assign({ 'X-Device-Token': token }, options.headers || {});
    const response = await fetch(path, Object.assign({}, options, { headers }));
    const kind = response.headers.get('Content-Type') || '';
    const answer = kind.startsWith('application/json') ? await response.json() : { ok: false, text: await response.text() };
    if (response.status === 403 && !kind.startsWith('application/json')) throw new Refusal(answer.text);
    return answer;
}
class Refusal extends Error {}

// ---------------------------------------------------------------- the screen
let rfb = null;
async function connectScreen() {
    let screen;
    try {
        screen = await api('/api/screen');
        if (!screen.ok) status.screen = screen.text;   // a helper of the screen did not start, or stopped
    } catch (e) {
        if (e instanceof Refusal) status.screen = e.message.trim();
        else status.server = false;
    }
    if (!screen || !screen.ok) {
        showStatus();
        return setTimeout(connectScreen, 2000);
    }
    rfb = new RFB($('screen'), screen.ws, { credentials: { password: screen.password } });
    rfb.scaleViewport = false;
    rfb.resizeSession = false;
    rfb.addEventListener('connect', () => { status.screen = ''; showStatus(); });
    rfb.addEventListener('securityfailure', () => { status.screen = 'the screen refused this page\'s password'; showStatus(); });
    rfb.addEventListener('disconnect', () => {
        status.screen = 'the screen\'s connection ended: the device stopped or is restarting; trying again…';
        showStatus();
        rfb = null;
        setTimeout(connectScreen, 2000);
    });
}

// ---------------------------------------------------------------- the console
async function refreshState() {
    try {
        const state = await api('/api/state');
        status.server = true;
        status.tabs = state.tabs;
        status.console = state.ok ? '' : state.text;
        if (state.ok) $('state').textContent = state.lines.join('\n');
    } catch (e) {
        status.server = e instanceof Refusal;
        if (e instanceof Refusal) status.console = e.message.trim();
    }
    showStatus();
    setTimeout(refreshState, 1000);
}

async function run(command) {
    $('answer').textContent = command + ' …';
    try {
        const done = await api('/api/do', { method: 'POST', body: JSON.stringify({ command }),
                                           headers: { 'Content-Type': 'application/json' } });
        const said = [done.text, ...(done.lines || [])].filter(Boolean).join(' · ');
        $('answer').textContent = command + ': ' + (done.ok ? said || 'done' : 'cannot: ' + said);
        $('answer').classList.toggle('refused', !done.ok);
        return done;
    } catch (e) {
        $('answer').textContent = command + ': ' + (e instanceof Refusal ? e.message : 'the page server does not answer');
        $('answer').classList.add('refused');
    }
}

function formCommand(template) {
    return template.replace(/\{(\w+)\}/g, (_, id) => $(id).value.trim());
}

for (const button of document.querySelectorAll('button')) {
    button.addEventListener('click', () => {
        // A load replaces the device as it is: asked first, naming the snapshot.
        if (button.dataset.confirm && !confirm(formCommand(button.dataset.confirm))) return;
        const command = button.dataset.command || formCommand(button.dataset.form);
        run(command).then((done) => {
            // A save over a snapshot of the same name is asked too, like a load.
            if (done && !done.ok && /^snapshot save /.test(command) && /--replace/.test(done.text || '') &&
                confirm(`Replace snapshot "${$('snapshot').value.trim()}"? ${done.text.replace(/: snapshot save .*$/, '')}; what it holds now will be lost.`)) {
                run(command + ' --replace');
            }
        });
    });
}

// ---------------------------------------------------------------- the timeline
function follow() {
    const events = new EventSource('/api/watch');
    const timeline = $('timeline');
    const add = (text) => {
        const atEnd = timeline.scrollTop + timeline.clientHeight >= timeline.scrollHeight - 4;
        timeline.textContent = (timeline.textContent + text + '\n').split('\n').slice(-500).join('\n');
        if (atEnd) timeline.scrollTop = timeline.scrollHeight;
    };
    events.onmessage = (e) => add(e.data);
    events.addEventListener('gone', () => {
        add('— the console stopped; following again when it is back —');
        events.close();
        setTimeout(follow, 2000);
    });
}

showStatus();
connectScreen();
refreshState();
follow();
